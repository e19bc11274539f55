#!/usr/bin/env python3
"""Makes the archive corpus of the tests: ZIPs whose entry names are in code page 932 (no UTF-8
flag), UTF-8 (flag) and code page 437, an encrypted ZIP and the two mails that bring it and its
password (and an mbox of both), nested archives with a mail inside, a bomb, traversal and link
entries. Run it here to remake the files; the tests read what it wrote.

  python3 make_corpus.py     (needs Info-ZIP's zip for the encrypted one)
"""
import base64
import hashlib
import io
import os
import subprocess
import tarfile
import tempfile
import zipfile

STAMP = (2024, 4, 1, 9, 30, 0)


class RawInfo(zipfile.ZipInfo):
    """An entry whose name is written as the given bytes, with no UTF-8 flag."""

    raw = b""

    def _encodeFilenameFlags(self):
        return self.raw, self.flag_bits


def entry(archive, name, data, encoding=None, mode=None):
    info = RawInfo(name, STAMP) if encoding else zipfile.ZipInfo(name, STAMP)
    if encoding:
        info.raw = name.encode(encoding)
    info.compress_type = zipfile.ZIP_DEFLATED
    if mode is not None:
        info.external_attr = mode << 16
        info.create_system = 3
    archive.writestr(info, data)


def zip_bytes(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for args in entries:
            entry(archive, *args)
    return out.getvalue()


def tar_gz(entries):
    """A gzip-compressed tar of regular files, the same bytes each time it is made."""
    tar = io.BytesIO()
    with tarfile.open(fileobj=tar, mode="w:gz", format=tarfile.PAX_FORMAT) as archive:
        for name, data in entries:
            info = tarfile.TarInfo(name)
            info.mtime = 1711963800
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))
    data = bytearray(tar.getvalue())
    data[4:8] = b"\0\0\0\0"  # gzip's time of making
    return bytes(data)


def crc16(data):
    """The CRC of LHA's headers and data (polynomial 0x8005, reflected)."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def lzh(entries):
    """An LHA archive of stored (-lh0-) files with level 0 headers, written here by hand as no
    LHA tool is at hand."""
    out = b""
    dos_time = (9 << 11 | 30 << 5) | ((2024 - 1980) << 9 | 4 << 5 | 1) << 16
    for name, data in entries:
        raw = name.encode("ascii")
        body = (b"-lh0-" + len(data).to_bytes(4, "little") + len(data).to_bytes(4, "little")
                + dos_time.to_bytes(4, "little") + b"\x20\x00" + bytes([len(raw)]) + raw
                + crc16(data).to_bytes(2, "little"))
        out += bytes([len(body), sum(body) & 0xFF]) + body + data
    return out + b"\0"


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


def mail(subject, date, attachments=(), text="本文です。\n", sender="yamada@example.co.jp"):
    """A mail from `sender` with a UTF-8 text part and Base64 attachments."""
    subject_word = "=?UTF-8?B?" + base64.b64encode(subject.encode()).decode() + "?="
    lines = [
        "From: =?UTF-8?B?" + base64.b64encode("山田".encode()).decode() + "?= <" + sender + ">",
        "To: sato@example.com",
        "Subject: " + subject_word,
        "Date: " + date,
        "Message-ID: <" + hashlib.md5((subject + date).encode()).hexdigest() + "@example.co.jp>",
        "MIME-Version: 1.0",
        'Content-Type: multipart/mixed; boundary="b"',
        "",
        "--b",
        "Content-Type: text/plain; charset=UTF-8",
        "Content-Transfer-Encoding: base64",
        "",
        base64.encodebytes(text.encode()).decode().rstrip("\n"),
    ]
    for name, data in attachments:
        lines += [
            "--b",
            "Content-Type: application/octet-stream",
            "Content-Transfer-Encoding: base64",
            "Content-Disposition: attachment; filename*=UTF-8''"
            + "".join("%%%02X" % b if b > 0x7E or chr(b) in " %'\"" else chr(b)
                      for b in name.encode()),
            "",
            base64.encodebytes(data).decode().rstrip("\n"),
        ]
    lines += ["--b--", ""]
    return "\r\n".join(lines).encode()


def main():
    os.chdir(os.path.dirname(os.path.abspath(__file__)))
    write("names_cp932.zip", zip_bytes([
        ("書類/見積.txt", b"mitsumori\n", "cp932"),
        ("表ソ.txt", b"hyoso\n", "cp932"),
    ]))
    write("names_utf8.zip", zip_bytes([("ユニコード/報告.txt", b"utf8\n")]))
    write("names_cp437.zip", zip_bytes([
        ("Café.txt", b"cafe\n", "cp437"),
        ("Ü.txt", b"umlaut\n", "cp437"),
    ]))
    write("traversal.zip", zip_bytes([
        ("../escape.txt", b"up\n", "ascii"),
        ("/etc/escape.txt", b"absolute\n", "ascii"),
        ("a/../../b/escape.txt", b"mixed\n", "ascii"),
        ("C:\\Windows\\escape.txt", b"drive\n", "ascii"),
        (".hidden", b"dot\n", "ascii"),
        ("safe.txt", b"first\n", "ascii"),
        ("SAFE.txt", b"second\n", "ascii"),
    ]))
    write("links.zip", zip_bytes([
        ("passwd", b"/etc/passwd", None, 0o120777),
        ("real.txt", b"real\n"),
    ]))
    tar = io.BytesIO()
    with tarfile.open(fileobj=tar, mode="w:gz", format=tarfile.GNU_FORMAT) as archive:
        for name, kind, data in [("docs/readme.txt", tarfile.REGTYPE, b"read me\n"),
                                 ("docs/up", tarfile.SYMTYPE, b"../../outside"),
                                 ("docs/again.txt", tarfile.LNKTYPE, b"docs/readme.txt"),
                                 ("pipe", tarfile.FIFOTYPE, b""),
                                 ("tty", tarfile.CHRTYPE, b"")]:
            info = tarfile.TarInfo(name)
            info.type = kind
            info.mtime = 1711963800
            if kind in (tarfile.SYMTYPE, tarfile.LNKTYPE):
                info.linkname = data.decode()
                archive.addfile(info)
            else:
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
    # gzip's header carries the time of making; zero it so that the file is the same each time.
    data = bytearray(tar.getvalue())
    data[4:8] = b"\0\0\0\0"
    write("links.tar.gz", bytes(data))
    inner = zip_bytes([("内側.txt", b"inner\n")])
    forwarded = mail("転送", "Mon, 1 Apr 2024 09:00:00 +0900", [("添付.txt", b"from the mail\n")])
    write("nested.zip", zip_bytes([
        ("in/inner.zip", inner),
        ("forwarded.eml", forwarded),
        ("top.txt", b"top\n"),
    ]))
    bomb = io.BytesIO()
    with zipfile.ZipFile(bomb, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        archive.writestr(zipfile.ZipInfo("small.txt", STAMP), b"before\n")
        info = zipfile.ZipInfo("zeros.bin", STAMP)
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, bytes(16 << 20))
    write("bomb.zip", bomb.getvalue())
    write("document.docx", zip_bytes([("[Content_Types].xml", b"<Types/>"),
                                      ("word/document.xml", b"<w:document/>")]))

    write("formats.tar.gz", tar_gz([("書類/見積.txt", b"tar gz\n"), ("top.txt", b"top\n")]))
    write("formats.lzh", lzh([("lzh.txt", b"lha stored\n")]))
    with tempfile.TemporaryDirectory() as folder:
        os.makedirs(os.path.join(folder, "書類"))
        for name, data in [("書類/見積.txt", b"seven zip\n"), ("top.txt", b"top\n")]:
            write(os.path.join(folder, name), data)
            os.utime(os.path.join(folder, name), (1711963800, 1711963800))
        subprocess.run(["bsdtar", "--format", "7zip", "-cf", "out.7z", "書類/見積.txt", "top.txt"],
                       cwd=folder, check=True)
        with open(os.path.join(folder, "out.7z"), "rb") as f:
            write("formats.7z", f.read())
    # Ten archives, one inside another: the eighth level is the last opened.
    deep = zip_bytes([("bottom.txt", b"bottom\n")])
    for level in range(9, 0, -1):
        deep = zip_bytes([("d%d.zip" % level, deep)])
    write("deep.zip", deep)
    write("bad_mail.zip", zip_bytes([
        ("broken.eml", b"\x00\x01\x02 no header here\n"),
        ("after.txt", b"after\n"),
    ]))

    with tempfile.TemporaryDirectory() as folder:
        for name, data in [("quote.txt", b"secret quote\n"), ("note.txt", b"note\n")]:
            write(os.path.join(folder, name), data)
        target = os.path.join(folder, "out.zip")
        subprocess.run(["zip", "-q", "-X", "-P", "Xy7k-2025", target, "quote.txt", "note.txt"],
                       cwd=folder, check=True)
        with open(target, "rb") as f:
            encrypted = f.read()
    write("encrypted.zip", encrypted)

    archive_mail = mail("【見積】ご依頼の件", "Mon, 1 Apr 2024 10:00:00 +0900",
                        [("見積.zip", encrypted)],
                        "お世話になっております。\n見積書をお送りします。\n"
                        "パスワードは別メールでお送りします。\n")
    password_mail = mail("【パスワード】Re: ご依頼の件", "Mon, 1 Apr 2024 10:03:00 +0900",
                         text="先ほどのファイルのパスワードをお知らせします。\n\n"
                              "パスワード：Xy7k-2025\n")
    write("ppap_archive.eml", archive_mail)
    write("ppap_password.eml", password_mail)

    def mbox_entry(message):
        body = message.replace(b"\r\n", b"\n").replace(b"\nFrom ", b"\n>From ")
        return b"From yamada@example.co.jp Mon Apr  1 10:00:00 2024\n" + body + b"\n"

    write("ppap.mbox", mbox_entry(archive_mail) + mbox_entry(password_mail))


if __name__ == "__main__":
    main()
