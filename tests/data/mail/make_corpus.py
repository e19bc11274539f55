#!/usr/bin/env python3
"""Writes the mail corpus and the attachments each mail must give back (expected/<mail>/).

Each mail imitates the habits of one kind of mailer. The attachments are made here first and
then encoded into the mails, so that what the tests expect does not come from Korvani itself.
Run from this folder; the output is deterministic.
"""
import base64
import os
import quopri
import random
import shutil

rng = random.Random(13)


def blob(n):
    return bytes(rng.randrange(256) for _ in range(n))


def b64(data, width=76):
    text = base64.b64encode(data).decode()
    return "\n".join(text[i:i + width] for i in range(0, len(text), width))


def sjis_to_jis(text):
    """ISO-2022-JP as Windows writes it (CP50221): code page 932 rows, ESC ( I kana."""
    out = bytearray()
    mode = "ascii"
    for ch in text:
        b = ch.encode("cp932")
        if len(b) == 1 and 0xA1 <= b[0] <= 0xDF:
            want, payload = "kana", bytes([b[0] - 0x80])
        elif len(b) == 2:
            s1, s2 = b
            row = (s1 - (0x70 if s1 < 0xA0 else 0xB0)) * 2 - (1 if s2 < 0x9F else 0)
            cell = s2 - (0x1F if s2 < 0x7F else 0x20 if s2 < 0x9F else 0x7E)
            want, payload = "jis", bytes([row, cell])
        else:
            want, payload = "ascii", b
        if want != mode:
            out += {"ascii": b"\x1b(B", "jis": b"\x1b$B", "kana": b"\x1b(I"}[want]
            mode = want
        out += payload
    if mode != "ascii":
        out += b"\x1b(B"
    return bytes(out)


def jis_lines(text):
    return b"\r\n".join(sjis_to_jis(line) for line in text.split("\n"))


def word(text, charset="UTF-8", encoding="B"):
    raw = sjis_to_jis(text) if charset.upper() == "ISO-2022-JP" else text.encode(charset)
    if encoding == "B":
        return "=?%s?B?%s?=" % (charset, base64.b64encode(raw).decode())
    q = "".join(chr(c) if (48 <= c < 58 or 65 <= c < 91 or 97 <= c < 123) else "=%02X" % c for c in raw)
    return "=?%s?Q?%s?=" % (charset, q)


mails = {}
expected = {}


def add(name, content, files, crlf=True):
    data = content if isinstance(content, bytes) else content.encode("utf-8", "surrogateescape")
    if crlf:
        data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    mails[name] = data
    expected[name] = files


# Gmail: multipart/mixed > alternative, RFC 2231 name, X-Attachment-Id.
pdf = b"%PDF-1.4\n" + blob(3000)
add("gmail.eml", """MIME-Version: 1.0
Date: Mon, 3 Jun 2024 09:15:02 +0900
Message-ID: <CAF=abc@mail.gmail.com>
Subject: %s
From: =?UTF-8?B?5bGx55Sw5aSq6YOO?= <taro@example.com>
To: hanako@example.jp
Content-Type: multipart/mixed; boundary="000000000000a1b2c3"

--000000000000a1b2c3
Content-Type: multipart/alternative; boundary="000000000000a1b2c2"

--000000000000a1b2c2
Content-Type: text/plain; charset="UTF-8"
Content-Transfer-Encoding: base64

%s

--000000000000a1b2c2
Content-Type: text/html; charset="UTF-8"
Content-Transfer-Encoding: quoted-printable

<div dir=3D"ltr">=E8=A6=8B=E7=A9=8D=E6=9B=B8</div>

--000000000000a1b2c2--
--000000000000a1b2c3
Content-Type: application/pdf; name="=?UTF-8?B?6KaL56mN5pu4XzIwMjQucGRm?="
Content-Disposition: attachment; filename*=UTF-8''%%E8%%A6%%8B%%E7%%A9%%8D%%E6%%9B%%B8_2024.pdf
Content-Transfer-Encoding: base64
X-Attachment-Id: f_lx1abc0
Content-ID: <f_lx1abc0>

%s
--000000000000a1b2c3--
""" % (word("お見積りの件"), b64("お世話になっております。\n見積書を添付します。\n".encode()), b64(pdf)),
    {"見積書_2024.pdf": pdf})

# Outlook: ISO-2022-JP with NEC row 13 and IBM extensions, names as several RFC 2047 words
# with '=' padding, folded.
csv = "番号,会社\n①,㈱髙﨑製作所\n".encode("cp932")
xlsx = b"PK\x03\x04" + blob(2000)
body = "髙﨑様\n\n①㈱の件、承知しました。\nｶﾀｶﾅもOKです。\n"
jw = lambda text: word(text, "iso-2022-jp").encode()
add("outlook.eml", b"From: " + jw("髙") + b" " + jw("﨑") + b""" <takasaki@example.co.jp>
To: \"""" + jw("山田") + b"""\" <yamada@example.com>
Subject: """ + jw("①") + b" " + jw("②") + b"\n " + jw("㈱の件") + b"""
Date: Tue, 4 Jun 2024 10:00:00 +0000
Content-Type: multipart/mixed;
\tboundary="_004_TYAPR01MB1234_"
MIME-Version: 1.0

--_004_TYAPR01MB1234_
Content-Type: text/plain; charset="iso-2022-jp"
Content-Transfer-Encoding: 7bit

""" + jis_lines(body) + b"""

--_004_TYAPR01MB1234_
Content-Type: text/csv; name=\"""" + jw("①") + b"\n " + jw("本") + b""".csv"
Content-Description: list.csv
Content-Disposition: attachment;
\tfilename=\"""" + jw("①") + b"\n " + jw("本") + b""".csv"; size=""" + str(len(csv)).encode() + b""";
\tcreation-date="Tue, 04 Jun 2024 10:00:00 GMT"
Content-Transfer-Encoding: base64

""" + b64(csv).encode() + b"""

--_004_TYAPR01MB1234_
Content-Type: application/vnd.openxmlformats-officedocument.spreadsheetml.sheet;
\tname="=?utf-8?B?5aOy5LiK?= =?utf-8?B?6KGoLnhsc3g=?="
Content-Disposition: attachment;
\tfilename="=?utf-8?B?5aOy5LiK?= =?utf-8?B?6KGoLnhsc3g=?="
Content-Transfer-Encoding: base64

""" + b64(xlsx).encode() + b"""

--_004_TYAPR01MB1234_--
""", {"\u2460\u672c.csv": csv, "売上表.xlsx": xlsx})

# Thunderbird on Linux: LF only, RFC 2231 continuations with a charset, folded parameters.
odt = b"PK\x03\x04mimetypeapplication/vnd.oasis.opendocument.text" + blob(1500)
add("thunderbird.eml", """Date: Wed, 5 Jun 2024 12:00:00 +0200
MIME-Version: 1.0
User-Agent: Mozilla Thunderbird
From: Jan Novak <jan@example.cz>
To: team@example.com
Subject: =?UTF-8?Q?Zpr=C3=A1va_o_projektu?=
Content-Type: multipart/mixed;
 boundary="------------0aBcDeFgHiJkLmNoPqRsTuVw"

This is a multi-part message in MIME format.
--------------0aBcDeFgHiJkLmNoPqRsTuVw
Content-Type: text/plain; charset=UTF-8; format=flowed
Content-Transfer-Encoding: 8bit

Dobrý den, v příloze je zpráva. Cena 5 €.

--------------0aBcDeFgHiJkLmNoPqRsTuVw
Content-Type: application/vnd.oasis.opendocument.text;
 name*0*=UTF-8''%%C3%%9A%%C4%%8Dtenka%%20za%%20%%C4%%8Derven%%20a%%20dal%%C5%%A1%%C3%%AD;
 name*1*=%%20v%%C4%%9Bci.odt
Content-Disposition: attachment;
 filename*0*=UTF-8''%%C3%%9A%%C4%%8Dtenka%%20za%%20%%C4%%8Derven%%20a%%20dal%%C5%%A1%%C3%%AD;
 filename*1*=%%20v%%C4%%9Bci.odt
Content-Transfer-Encoding: base64

%s

--------------0aBcDeFgHiJkLmNoPqRsTuVw--
""" % b64(odt, 72), {"Účtenka za červen a další věci.odt": odt}, crlf=False)

# Apple Mail: alternative with a related HTML part and an inline image without a file name,
# then an attachment; quoted-printable text with a soft line break.
png = b"\x89PNG\r\n\x1a\n" + blob(800)
zipped = b"PK\x05\x06" + bytes(18)
add("apple.eml", """Content-Type: multipart/mixed; boundary="Apple-Mail=_1A2B"
Subject: =?utf-8?Q?Photos_from_the_trip_=F0=9F=8F=94?=
Mime-Version: 1.0 (Mac OS X Mail 16.0)
Date: Thu, 6 Jun 2024 18:30:00 +0900
From: Keiko <keiko@example.jp>
To: Ken <ken@example.jp>

--Apple-Mail=_1A2B
Content-Type: multipart/alternative; boundary="Apple-Mail=_3C4D"

--Apple-Mail=_3C4D
Content-Transfer-Encoding: quoted-printable
Content-Type: text/plain; charset=utf-8

Here is the view from the top =E2=9D=A4=EF=B8=8F and a long line that =
continues.

--Apple-Mail=_3C4D
Content-Type: multipart/related; type="text/html"; boundary="Apple-Mail=_5E6F"

--Apple-Mail=_5E6F
Content-Transfer-Encoding: 7bit
Content-Type: text/html; charset=us-ascii

<html><body>Here is the view<img src="cid:ABC-123"></body></html>
--Apple-Mail=_5E6F
Content-Transfer-Encoding: base64
Content-Disposition: inline
Content-Type: image/png
Content-Id: <ABC-123>

%s
--Apple-Mail=_5E6F--

--Apple-Mail=_3C4D--

--Apple-Mail=_1A2B
Content-Disposition: attachment; filename=route.zip
Content-Type: application/zip; x-unix-mode=0644; name="route.zip"
Content-Transfer-Encoding: base64

%s
--Apple-Mail=_1A2B--
""" % (b64(png), b64(zipped)), {"part-1.png": png, "route.zip": zipped})

# iPhone: raw UTF-8 name, emoji subject, a text part with a byte-order mark.
jpg = b"\xff\xd8\xff\xe0" + blob(1200)
add("iphone.eml", ("""Content-Type: multipart/mixed; boundary=Apple-Mail-9F8E
Content-Transfer-Encoding: 7bit
From: Yuki <yuki@example.jp>
Mime-Version: 1.0 (1.0)
Date: Fri, 7 Jun 2024 07:07:07 +0900
Subject: %s
Message-Id: <9F8E@example.jp>
To: family@example.jp
X-Mailer: iPhone Mail (21F90)

--Apple-Mail-9F8E
Content-Type: text/plain; charset=utf-8
Content-Transfer-Encoding: base64

%s
--Apple-Mail-9F8E
Content-Type: image/jpeg; name="写真 2024-06-07.jpg"
Content-Disposition: attachment; filename="写真 2024-06-07.jpg"
Content-Transfer-Encoding: base64

%s
--Apple-Mail-9F8E--
""" % (word("おはよう 🌅"), b64("\ufeffおはよう！Café au lait ☕ costs 3 €.\n".encode()), b64(jpg))).encode(),
    {"写真 2024-06-07.jpg": jpg})

# A web notification: HTML only, Shift_JIS with NEC and IBM rows, script and style to skip.
html = ("<html><head><title>通知</title><style>p{color:red}</style><script>alert(1)</script></head>"
        "<body><h1>ご注文①</h1><p>髙橋様&nbsp;&amp;&nbsp;﨑田様</p><p>合計: &yen;1,000<br>"
        "ﾃｽﾄ</p><table><tr><td>A</td><td>B</td></tr></table></body></html>")
add("notification.eml", b"""From: noreply@shop.example.jp
To: user@example.jp
Subject: =?Shift_JIS?B?""" + base64.b64encode("ご注文の確認".encode("cp932")) + b"""?=
Date: Sat, 8 Jun 2024 00:00:00 +0900
MIME-Version: 1.0
Content-Type: text/html; charset=Shift_JIS
Content-Transfer-Encoding: quoted-printable

""" + quopri.encodestring(html.encode("cp932")) + b"\n", {})

# A forwarded message with its own attachment, inside a mail with one of its own.
inner_doc = b"inner document\x00\x01\x02"
outer_txt = "メモ\n".encode("euc-jp")
add("forwarded.eml", """From: a@example.com
To: b@example.com
Subject: Fwd: =?UTF-8?B?5aCx5ZGK?=
Date: Sun, 9 Jun 2024 09:00:00 +0900
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="outer"

--outer
Content-Type: text/plain; charset=us-ascii

See the forwarded report below.

--outer
Content-Type: message/rfc822

From: c@example.com
To: a@example.com
Subject: =?UTF-8?B?5aCx5ZGK?=
Date: Sat, 8 Jun 2024 20:00:00 +0900
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="inner"

--inner
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: 8bit

報告書を送ります。

--inner
Content-Type: application/octet-stream; name="report.bin"
Content-Disposition: attachment; filename="report.bin"
Content-Transfer-Encoding: base64

%s
--inner--

--outer
Content-Type: text/plain; charset=EUC-JP; name="memo.txt"
Content-Disposition: attachment; filename="memo.txt"
Content-Transfer-Encoding: quoted-printable

%s
--outer--
""" % (b64(inner_doc), quopri.encodestring(outer_txt).decode()), {"report.bin": inner_doc, "memo.txt": outer_txt.replace(b"\n", b"\r\n")})

# Raw Shift_JIS names and text, as older Japanese mailers wrote them unencoded.
sheet = blob(700)
sjis_body = "①髙橋様\n請求書です。\n"
add("raw_sjis.eml", b"""From: sender@example.jp
To: user@example.jp
Subject: """ + "請求書".encode("cp932") + b"""
MIME-Version: 1.0
Content-Type: multipart/mixed; boundary="sjis"

--sjis
Content-Type: text/plain; charset=x-sjis
Content-Transfer-Encoding: 8bit

""" + sjis_body.encode("cp932") + b"""
--sjis
Content-Type: application/octet-stream; name=\"""" + "請求書①.xls".encode("cp932") + b"""\"
Content-Disposition: attachment; filename=\"""" + "請求書①.xls".encode("cp932") + b"""\"
Content-Transfer-Encoding: base64

""" + b64(sheet).encode() + b"""
--sjis--
""", {"請求書①.xls": sheet})

# Hostile names: every one must land inside the chosen folder under a harmless name.
hostile = [
    ('filename="../../.bashrc"', ".bashrc", "_bashrc"),
    ('filename="..\\..\\Startup\\x.bat"', "x.bat", "x.bat"),
    ('filename="CON.txt"', "con", "_CON.txt"),
    ('filename="a<b>c:d|e?f*.txt"', "chars", "a_b_c_d_e_f_.txt"),
    ('filename="tab\tname.txt  . . "', "tab", "tab name.txt"),
    ('filename="' + "長" * 100 + '.txt"', "long", "長" * 83 + ".txt"),
    ('filename="same.txt"', "same1", "same.txt"),
    ('filename="same.txt"', "same2", "same (2).txt"),
    ('filename="/etc/passwd"', "abs", "passwd"),
    ("", "unnamed", "part-1.bin"),
]
parts = []
hostile_files = {}
for disposition, tag, safe in hostile:
    data = ("content of " + tag + "\n").encode()
    header = "Content-Disposition: attachment; " + disposition if disposition else "Content-Disposition: attachment"
    parts.append("--h\nContent-Type: application/octet-stream\n%s\nContent-Transfer-Encoding: base64\n\n%s\n" % (header, b64(data)))
    hostile_files[safe] = data
add("hostile.eml", "From: x@example.com\nSubject: names\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=h\n\n--h\nContent-Type: text/plain\n\nnames\n" + "".join(parts) + "--h--\n", hostile_files)

# Half-width katakana through ESC ( I in a header word and in the body.
add("kana.eml", b"From: shop@example.jp\nSubject: " + word("ｾｰﾙのお知らせ", "ISO-2022-JP").encode() +
    b"\nMIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-2022-JP\n\n" + jis_lines("ｾｰﾙ開催中！ﾎﾟｲﾝﾄ②倍\n") + b"\n", {})

# Cut short: the mail ends inside a Base64 attachment.
big = blob(3000)
add("truncated.eml", "From: x@example.com\nSubject: cut\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=t\n\n--t\nContent-Type: text/plain\n\nbody\n--t\nContent-Type: application/octet-stream; name=cut.bin\nContent-Transfer-Encoding: base64\n\n" + b64(big)[:2000] + "\n",
    {"cut.bin": base64.b64decode(b64(big)[:2000].replace("\n", "")[:len(b64(big)[:2000].replace("\n", "")) // 4 * 4])})

# Uuencode and quoted-printable attachments.
uu_data = b"uuencoded bytes\n" * 5
import binascii
uu_lines = "".join(binascii.b2a_uu(uu_data[i:i + 45]).decode() for i in range(0, len(uu_data), 45))
qp_data = "naïve text\n".encode()
add("encodings.eml", "From: x@example.com\nSubject: encodings\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=e\n\n--e\nContent-Type: text/plain\n\nencodings\n--e\nContent-Type: application/octet-stream; name=data.uu\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 data.uu\n" + uu_lines + "`\nend\n\n--e\nContent-Type: text/plain; charset=utf-8; name=note.txt\nContent-Disposition: attachment; filename=note.txt\nContent-Transfer-Encoding: quoted-printable\n\n" + quopri.encodestring(qp_data).decode() + "\n--e--\n",
    # Quoted-printable text keeps the mail's own line ends, CR LF.
    {"data.uu": uu_data, "note.txt": qp_data.replace(b"\n", b"\r\n")})

shutil.rmtree("expected", ignore_errors=True)
for name, data in mails.items():
    with open(name, "wb") as f:
        f.write(data)
    folder = os.path.join("expected", name[:-4])
    os.makedirs(folder, exist_ok=True)
    for file_name, content in expected[name].items():
        with open(os.path.join(folder, file_name), "wb") as f:
            f.write(content)

# An mbox of three messages; the second holds an escaped "From " line.
with open("archive.mbox", "wb") as f:
    f.write(b"From a@example.com Mon Jun 10 10:00:00 2024\n" + mails["encodings.eml"].replace(b"\r\n", b"\n") + b"\n")
    f.write(b"From b@example.com Mon Jun 10 11:00:00 2024\nFrom: b@example.com\nSubject: plain\n\nline one\n>From the start\n\n")
    f.write(b"From c@example.com Mon Jun 10 12:00:00 2024\n" + mails["forwarded.eml"].replace(b"\r\n", b"\n"))
with open("not_a_mail.txt", "wb") as f:
    f.write(b"This is a shopping list, not a mail.\nmilk\neggs\n")
