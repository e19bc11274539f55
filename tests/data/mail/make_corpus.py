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
    # Shift_JIS as mailers write it is code page 932 (NEC and IBM rows included).
    codec = "cp932" if charset.lower() == "shift_jis" else charset
    raw = sjis_to_jis(text) if charset.upper() == "ISO-2022-JP" else text.encode(codec)
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
    # The last line's 3 characters without padding still hold 2 bytes.
    {"cut.bin": base64.b64decode(b64(big)[:2000].replace("\n", "") + "=")})

# Uuencode and quoted-printable attachments.
uu_data = b"uuencoded bytes\n" * 5
import binascii
uu_lines = "".join(binascii.b2a_uu(uu_data[i:i + 45]).decode() for i in range(0, len(uu_data), 45))
qp_data = "naïve text\n".encode()
add("encodings.eml", "From: x@example.com\nSubject: encodings\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=e\n\n--e\nContent-Type: text/plain\n\nencodings\n--e\nContent-Type: application/octet-stream; name=data.uu\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 data.uu\n" + uu_lines + "`\nend\n\n--e\nContent-Type: text/plain; charset=utf-8; name=note.txt\nContent-Disposition: attachment; filename=note.txt\nContent-Transfer-Encoding: quoted-printable\n\n" + quopri.encodestring(qp_data).decode() + "\n--e--\n",
    # Quoted-printable text keeps the mail's own line ends, CR LF.
    {"data.uu": uu_data, "note.txt": qp_data.replace(b"\n", b"\r\n")})


# --- More of today's mailers -----------------------------------------------------------------


def pct(raw):
    return "".join(chr(c) if (48 <= c < 58 or 65 <= c < 91 or 97 <= c < 123 or c in b"._-") else "%%%02X" % c for c in raw)


def mixed(header, parts, boundary="m"):
    """A multipart/mixed mail: `parts` are (part header lines, body) pairs."""
    out = header + "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"%s\"\n\n" % boundary
    for head, content in parts:
        out += "--%s\n%s\n\n%s\n" % (boundary, head, content)
    return out + "--%s--\n" % boundary


def attachment(media_type, name_params, data, encoding="base64"):
    body = b64(data) if encoding == "base64" else quopri.encodestring(data).decode()
    return ("Content-Type: %s%s\nContent-Disposition: attachment%s\nContent-Transfer-Encoding: %s"
            % (media_type, name_params[0], name_params[1], encoding), body)


TEXT = ("Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit", "本文です。\n")

# Outlook, RFC 2231 in ISO-2022-JP: NEC row 13, IBM rows and half-width kana in the name.
jis_name = sjis_to_jis("①㈱髙﨑ｶﾀﾛｸﾞ.pdf")
catalog = b"%PDF-1.7\n" + blob(900)
add("outlook_2231.eml", mixed("From: sales@example.co.jp\nTo: buyer@example.jp\nSubject: %s\n" % word("カタログ送付", "ISO-2022-JP"), [
    ("Content-Type: text/plain; charset=iso-2022-jp\nContent-Transfer-Encoding: 7bit", "catalog\n"),
    attachment("application/pdf", ("; name*=iso-2022-jp''" + pct(jis_name), ";\n filename*=iso-2022-jp''" + pct(jis_name)), catalog),
], "_002_OS3P"), {"①㈱髙﨑ｶﾀﾛｸﾞ.pdf": catalog})

# Gmail forwarding inline, a name in RFC 2231 sections without a charset on the later ones.
deck = b"PK\x03\x04ppt" + blob(1100)
add("gmail_forward.eml", mixed("From: =?UTF-8?B?5L2Q6Jek?= <sato@example.com>\nTo: team@example.com\nSubject: Fwd: %s\n" % word("会議資料"), [
    ("Content-Type: text/plain; charset=\"UTF-8\"", "---------- Forwarded message ---------\nFrom: Boss <boss@example.com>\n\n資料を共有します。\n"),
    ("Content-Type: application/vnd.ms-powerpoint; name=\"slides.ppt\"\nContent-Disposition: attachment;\n filename*0*=UTF-8''%E4%BC%9A%E8%AD%B0;\n filename*1=\"_2024-06.ppt\"\nContent-Transfer-Encoding: base64\nX-Attachment-Id: f_lx2def1\nContent-ID: <f_lx2def1>", b64(deck)),
], "000000000000f00d"), {"会議_2024-06.ppt": deck})

# Outlook with an inline image in multipart/related (image001.png) and a Word file.
logo = b"\x89PNG\r\n\x1a\n" + blob(300)
docx = b"PK\x03\x04word" + blob(1300)
add("outlook_related.eml", """From: =?iso-2022-jp?B?GyRCOzNLXBsoQg==?= <yamamoto@example.co.jp>
To: client@example.com
Subject: =?iso-2022-jp?B?GyRCO3FOQRsoQg==?=
MIME-Version: 1.0
Content-Type: multipart/mixed;
\tboundary="_004_related"

--_004_related
Content-Type: multipart/related;
\tboundary="_003_rel";
\ttype="multipart/alternative"

--_003_rel
Content-Type: multipart/alternative;
\tboundary="_000_alt"

--_000_alt
Content-Type: text/plain; charset="iso-2022-jp"
Content-Transfer-Encoding: 7bit

%s

--_000_alt
Content-Type: text/html; charset="iso-2022-jp"
Content-Transfer-Encoding: 7bit

<html><body><p>see logo</p><img src="cid:image001.png@01DA"></body></html>

--_000_alt--

--_003_rel
Content-Type: image/png; name="image001.png"
Content-Description: image001.png
Content-Disposition: inline; filename="image001.png"; size=308
Content-ID: <image001.png@01DA>
Content-Transfer-Encoding: base64

%s

--_003_rel--

--_004_related
Content-Type: application/vnd.openxmlformats-officedocument.wordprocessingml.document;
\tname="=?iso-2022-jp?B?GyRCO3FOQRsoQg==?=.docx"
Content-Disposition: attachment;
\tfilename="=?iso-2022-jp?B?GyRCO3FOQRsoQg==?=.docx"
Content-Transfer-Encoding: base64

%s

--_004_related--
""" % (jis_lines("資料をお送りします。").decode("ascii"), b64(logo), b64(docx)), {"image001.png": logo, "資料.docx": docx})

# Thunderbird forwarding as an attachment: the forwarded mail carries its own file.
inner_png = b"\x89PNG\r\n\x1a\n" + blob(200)
add("thunderbird_forward.eml", mixed("From: a@example.org\nTo: b@example.org\nSubject: Fwd: screenshot\nUser-Agent: Mozilla Thunderbird\n", [
    ("Content-Type: text/plain; charset=UTF-8; format=flowed\nContent-Transfer-Encoding: 7bit", "See attached.\n"),
    ("Content-Type: message/rfc822; name=\"screenshot.eml\"\nContent-Disposition: attachment; filename=\"screenshot.eml\"", mixed(
        "From: c@example.org\nTo: a@example.org\nSubject: screenshot\n",
        [("Content-Type: text/plain; charset=UTF-8", "Here it is.\n"),
         attachment("image/png", ("; name=\"Bildschirmfoto vom 2024-06-10.png\"", "; filename=\"Bildschirmfoto vom 2024-06-10.png\""), inner_png)],
        "------------inner")),
], "------------outer"), {"Bildschirmfoto vom 2024-06-10.png": inner_png}, crlf=False)

# Apple Mail: a PDF shown inline, with a name, between two text parts.
invoice = b"%PDF-1.3\n" + blob(600)
add("apple_inline_pdf.eml", mixed("From: Mika <mika@example.jp>\nTo: shop@example.jp\nSubject: Invoice\nX-Mailer: Apple Mail (2.3774)\n", [
    ("Content-Transfer-Encoding: 7bit\nContent-Type: text/plain; charset=us-ascii", "Please find the invoice:"),
    ("Content-Disposition: inline; filename=\"invoice 06.pdf\"\nContent-Type: application/pdf; x-unix-mode=0644; name=\"invoice 06.pdf\"\nContent-Transfer-Encoding: base64", b64(invoice)),
    ("Content-Transfer-Encoding: 7bit\nContent-Type: text/plain; charset=us-ascii", "Thanks."),
], "Apple-Mail=_77"), {"invoice 06.pdf": invoice})

# iPhone: several photos, all called image0.jpeg.
photos = [b"\xff\xd8\xff\xe1" + blob(400) for _ in range(3)]
add("iphone_photos.eml", mixed("From: Ren <ren@example.jp>\nTo: Mai <mai@example.jp>\nSubject: %s\nX-Mailer: iPhone Mail (21F90)\n" % word("写真📷"),
    [("Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable", "=E5=86=99=E7=9C=9F=E3=81=A7=E3=81=99 =F0=9F=98=8A")] +
    [attachment("image/jpeg", ("; name=image0.jpeg", "; filename=image0.jpeg"), p) for p in photos], "Apple-Mail-A1"),
    {"image0.jpeg": photos[0], "image0 (2).jpeg": photos[1], "image0 (3).jpeg": photos[2]})

# A calendar invitation: the text/calendar part is a file, not the mail's text.
ics = b"BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nSUMMARY:Review\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"
add("calendar.eml", mixed("From: calendar@example.com\nTo: you@example.com\nSubject: Invitation: Review\n", [
    ("Content-Type: text/plain; charset=UTF-8", "You are invited.\n"),
    ("Content-Type: text/calendar; charset=UTF-8; method=REQUEST\nContent-Transfer-Encoding: base64", b64(ics)),
    attachment("application/ics", ("; name=\"invite.ics\"", "; filename=\"invite.ics\""), ics),
], "cal"), {"part-1.ics": ics, "invite.ics": ics})

# An old Unix mailer: EUC-JP text, raw EUC-JP name.
tarball = b"\x1f\x8b\x08\x00" + blob(500)
add("euc_unix.eml", b"From: user@host.example.jp\nTo: friend@example.jp\nSubject: " + "ソース".encode("euc-jp") +
    b"\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=euc\n\n--euc\nContent-Type: text/plain; charset=EUC-JP\nContent-Transfer-Encoding: 8bit\n\n" +
    "ソースを送ります。\n".encode("euc-jp") + b"\n--euc\nContent-Type: application/x-gzip; name=\"" + "ソース.tar.gz".encode("euc-jp") +
    b"\"\nContent-Transfer-Encoding: base64\n\n" + b64(tarball).encode() + b"\n--euc--\n", {"ソース.tar.gz": tarball}, crlf=False)

# A Windows text file in UTF-16 with a byte-order mark, sent as the mail's only text.
add("utf16_bom.eml", b"From: w@example.com\nTo: x@example.com\nSubject: UTF-16\nMIME-Version: 1.0\nContent-Type: text/plain; charset=utf-16\nContent-Transfer-Encoding: base64\n\n" +
    b64("\ufeffこんにちは, UTF-16\r\nsecond line\r\n".encode("utf-16-le")).encode() + b"\n", {})

# Text with no declared charset, in Shift_JIS: the charset is guessed.
add("undeclared.eml", b"From: old@example.jp\nTo: x@example.jp\nSubject: guess\nMIME-Version: 1.0\nContent-Type: text/plain\nContent-Transfer-Encoding: 8bit\n\n" +
    "今日は良い天気ですね。明日の会議は十時からです。よろしくお願いいたします。\n".encode("cp932"), {})

# LF-only mail from a web mailer: a quoted-printable attachment with a Q-encoded quoted name.
notes = "メモ: 午後3時\n".encode()
add("webmail_q.eml", mixed("From: web@example.net\nTo: y@example.net\nSubject: notes\n", [
    TEXT,
    attachment("text/plain; charset=UTF-8", ("; name=\"%s\"" % word("メモ.txt", encoding="Q"), "; filename=\"%s\"" % word("メモ.txt", encoding="Q")), notes, "quoted-printable"),
], "web"), {"メモ.txt": notes}, crlf=False)

# An emoji in an RFC 2231 name.
card = b"GIF89a" + blob(150)
add("emoji_name.eml", mixed("From: fun@example.com\nTo: x@example.com\nSubject: %s\n" % word("おめでとう🎉"), [
    TEXT,
    attachment("image/gif", ("", "; filename*=utf-8''" + pct("🎂カード.gif".encode())), card),
], "emo"), {"🎂カード.gif": card})

# Deep nesting: mixed > mixed > related > alternative, and an attachment at each level.
a1, a2 = blob(64), blob(96)
add("nested.eml", mixed("From: n@example.com\nTo: x@example.com\nSubject: nested\n", [
    ("Content-Type: multipart/mixed; boundary=\"l2\"", "--l2\nContent-Type: multipart/related; boundary=\"l3\"\n\n--l3\nContent-Type: multipart/alternative; boundary=\"l4\"\n\n--l4\nContent-Type: text/plain; charset=utf-8\n\ndeep text\n--l4\nContent-Type: text/html; charset=utf-8\n\n<p>deep html</p>\n--l4--\n--l3\nContent-Type: application/octet-stream; name=\"inner.bin\"\nContent-Transfer-Encoding: base64\n\n" + b64(a1) + "\n--l3--\n--l2--\n"),
    attachment("application/octet-stream", ("", "; filename=\"outer.bin\""), a2),
], "l1"), {"inner.bin": a1, "outer.bin": a2})

# A Windows path in a quoted name: backslashes are folders, not escapes.
log = b"log line\r\n" * 4
add("windows_path.eml", mixed("From: pc@example.com\nTo: x@example.com\nSubject: log\n", [
    TEXT,
    attachment("text/plain", ("; name=\"C:\\Users\\taro\\Desktop\\app.log\"", "; filename=\"C:\\Users\\taro\\Desktop\\app.log\""), log),
], "win"), {"app.log": log})

# A Shift_JIS encoded word with NEC and IBM characters in the name.
memo = blob(120)
add("sjis_word_name.eml", mixed("From: pc@example.jp\nTo: x@example.jp\nSubject: %s\n" % word("№１の件", "Shift_JIS"), [
    TEXT,
    attachment("application/octet-stream", ("; name=\"%s\"" % word("№①髙﨑.dat", "Shift_JIS"), ""), memo),
], "sw"), {"№①髙﨑.dat": memo})

# A feature phone: ISO-2022-JP with half-width kana in the subject and the name.
ring = b"MThd" + blob(80)
add("keitai.eml", mixed("From: user@docomo.example.ne.jp\nTo: x@example.jp\nSubject: %s\n" % word("ﾒﾛﾃﾞｨ送ります", "ISO-2022-JP"), [
    ("Content-Type: text/plain; charset=ISO-2022-JP\nContent-Transfer-Encoding: 7bit", jis_lines("ｷｬﾗ着ﾒﾛ①です").decode("ascii")),
    attachment("audio/midi", ("; name=\"%s\"" % word("ﾒﾛﾃﾞｨ①.mid", "ISO-2022-JP"), "; filename=\"%s\"" % word("ﾒﾛﾃﾞｨ①.mid", "ISO-2022-JP")), ring),
], "keitai"), {"ﾒﾛﾃﾞｨ①.mid": ring})

# A notification with text and HTML alternatives: the plain text is the one shown.
add("notification_alt.eml", """From: no-reply@service.example
To: x@example.com
Subject: =?UTF-8?Q?=E3=83=91=E3=82=B9=E3=83=AF=E3=83=BC=E3=83=89=E5=A4=89=E6=9B=B4?=
MIME-Version: 1.0
Content-Type: multipart/alternative; boundary="alt"

--alt
Content-Type: text/plain; charset=UTF-8
Content-Transfer-Encoding: quoted-printable

=E3=83=91=E3=82=B9=E3=83=AF=E3=83=BC=E3=83=89=E3=82=92=E5=A4=89=E6=9B=B4=E3=81=97=E3=81=BE=E3=81=97=E3=81=9F=E3=80=82
--alt
Content-Type: text/html; charset=UTF-8

<html><body><p>HTML version</p></body></html>
--alt--
""", {})

# A newsletter in HTML only, UTF-8, with entities and a list.
add("newsletter.eml", """From: news@example.com
To: x@example.com
Subject: =?UTF-8?B?44OL44Ol44O844K5?=
MIME-Version: 1.0
Content-Type: text/html; charset=UTF-8
Content-Transfer-Encoding: 8bit

<!DOCTYPE html><html><head><style>.x{}</style></head><body><h2>今月のお知らせ</h2><ul><li>新商品 &gt; 3点</li><li>セール&hellip;</li></ul><p>&copy; 2024 Example</p></body></html>
""", {})

# Only the folders of expected files are made here; the expected readings (<mail>.txt) are
# kept, each checked by hand.
for entry in os.listdir("expected") if os.path.isdir("expected") else []:
    if os.path.isdir(os.path.join("expected", entry)):
        shutil.rmtree(os.path.join("expected", entry))
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
