#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets, taken from what the tests feed the same code,
into FOLDER/<target>/ (one small file each)."""
import gzip
import lzma
import os
import struct
import sys
import zlib

KFLASH = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"

URLS = [
    "http://www.example.com/site/about#hi", "http://www.example.com/script.php?arg=1",
    "http://www.example.com?test=123", "HtTp://h/x", "https://h:8443/x.swf", "http://h:65535",
    "ftp://me:secret@h/pub/x.swf", "gopher://h/x", "file:///home/u/a.swf",
    "file://localhost/a.swf", "about:blank", "http://[::1]:8080/x", "http://h/\xB3\x5C.swf",
    "http://www.example.org\\tests/../#x", "http://host\\movies\\a.swf",
    "http://h/a/./b/../c.swf", "http://h/../../x.swf", "http://h/a%20b/%2e%2e/c.swf",
    "file:///srv/site/.%2e/a.swf", "  http://h/x.swf \r\n", "http://u:p@h:99999/x",
    "file:///tmp/a%2520b.swf", "file:///a%00b.swf", "http://h/\xe5\xbd\xb1\xe7\x89\x87.swf",
    "http://h/a.swf#frag", "http://h/q.php?id=1#top", "http://h/c%23d.swf",
]

HIVES = [
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n[HKEY_CURRENT_USER\\Software\\K]\n"
    "\"Name\"=\"text\"\n\"a\\\\b\\\"c\"=\"C:\\\\dir\"\n@=\"def\"\n\"n\"=dword:ffffffff\n"
    "\"b\"=hex:00,ff,10\n\"m\"=hex(7):61,00,00\n\"s\"=hex(1):61,0a,62,00\n\n",
    "REGEDIT4\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\A\\B]\r\n\"x\"=hex:01,02,\\\r\n  03\r\n",
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\\xe8\xa8\xb1\\\xe8\xa8\xad]\n\"\xe8\x93\x8b\"=\"\xe5\x8a\x9f\"\n",
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\\xB3\x5C\xA5\x5C]\n\"\xBB\\\\\"=\"C:\\\\\xB3\\\\\"\n",
    "\xef\xbb\xbfREGEDIT4\n\n[HKEY_CURRENT_USER]\n\"root\"=\"r\"\n",
]

INDEXES = [
    "TROVEX-URLCACHE 1\n4\tABCDEFGH/a[1].swf\thttp://h/a.swf\n"
    "5\tABCDEFGH/b[1].swf\thttp://h/%25E5%25BD%25B1.swf\n"
    "+3\tABCDEFGH/c[1].swf\thttp://h/c.swf#x\n-\t\thttp://h/a.swf\n",
    "TROVEX-URLCACHE 1\n4\t../../etc/passwd\thttp://h/evil.swf\nx\tABCDEFGH/a.swf\thttp://h/b\n"
    "7\tABCDEFGH/dup[1].swf\thttp://h/dup/%25E5%25BD%25B1.swf\n"
    "7\tABCDEFGH/dup[2].swf\thttp://h/dup/\xe5\xbd\xb1.swf\n+9\tABCDEFGH/torn",
]

PAGES = [
    (1, "<html><body><embed src='movies/a b.swf' type='application/x-shockwave-flash'>"
        "<object classid='" + KFLASH + "'><param name=movie value='intro.swf?v=1#x'>"
        "<embed src=inner.swf></object><iframe src=frame.html></iframe></body></html>"),
    (0, "<meta charset=big5><embed src='\xB3\x5C\xA5\x5C.swf'><base href='http://other/d/'>"
        "<embed src='//cdn.example/x.swf'><embed src='file:///etc/passwd'>"),
    (7, "+ADw-embed src=+ACI-hidden.swf+ACI-+AD4-<embed src=http://host\\movies\\a.swf>"),
    (0, "<frameset><frame src=a.html><frame></frameset><object data=x.swf movie=m.swf>"
        "<applet code=A></applet><template><embed src=t.swf></template>"),
]

COMMAND_LINES = [
    'a b c', '"a b" c', 'a\\\\"b c"', 'a\\\\\\"b', '"a""b"', '""', 'a\\b\\\\c', '"unterminated',
    '\xB3\x5C" x', '\t a \t ',
]


def frame(url, objects="", embeds="", frames="", extra=""):
    return ('{"url":%s,"base":%s,"objects":[%s],"embeds":[%s],"frames":[%s]%s}'
            % (url, url, objects, embeds, frames, extra))


SNAPSHOTS = [
    '{"version":1,"frames":%s}' % frame(
        '"http://h.test/dir/p.html"',
        '{"classid":"%s","movie":" a.swf "},{"classid":null,"movie":"no.swf"}' % KFLASH,
        '{"src":"a.swf","object":0},{"src":"c.php?m=1","type":"application/x-shockwave-flash"},'
        '{"src":null,"type":"application/x-shockwave-flash"},{"src":"","type":null}',
        '{"tag":"iframe","url":null,"error":"no answer"},' +
        frame('"http://o.test/f.html"', "", '{"src":"\\u5f71.swf"}', "", ',"tag":"frame"'),
        ',"cut":3'),
    '{"version":1,"frames":%s}' % frame('"file:///srv/site/a.html"', "", '{"src":"x.SWF"}'),
    '{"version":1,"frames":%s}' % frame('"about:blank"'),
    '{"version":2,"frames":{}}',
    '[' * 50 + ']' * 50,
]


def warc_record(kind, uri, block, extra="", version="WARC/1.1", date="2024-05-01T10:00:00Z"):
    head = "%s\r\nWARC-Type: %s\r\nWARC-Target-URI: %s\r\nWARC-Date: %s\r\n%sContent-Length: %d\r\n\r\n" % (
        version, kind, uri, date, extra, len(block))
    return head.encode() + block + b"\r\n\r\n"


def warc_seeds():
    page = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 11\r\n\r\n<html></html>"[:-2]
    chunked = b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Encoding: gzip\r\n\r\n"
    body = gzip.compress(b"FWS" + bytes(range(256)))
    chunked += b"%x\r\n" % len(body) + body + b"\r\n0\r\n\r\n"
    records = [
        warc_record("response", "http://h/page.html", page),
        warc_record("response", "<http://h/a.swf>", chunked, "WARC-Record-ID: <urn:a>\r\n"
                    "WARC-Payload-Digest: sha1:X\r\n", "WARC/1.0"),
        warc_record("revisit", "http://h/b.swf", b"HTTP/1.1 200 OK\r\n\r\n", "WARC-Refers-To: <urn:a>\r\n"),
        warc_record("resource", "http://h/c.swf", b"FWS\x01", "Content-Type: application/x-shockwave-flash\r\n",
                    date="20240501100000"),
        warc_record("response", "http://h/r", b"HTTP/1.1 302 Found\r\nLocation: a.swf\r\n\r\n"),
    ]
    return [b"".join(records), b"".join(gzip.compress(r) for r in records), records[1][:90],
            gzip.compress(b"".join(records))]



def swf_tag(code, body):
    if len(body) < 0x3F:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 0x3F, len(body)) + body


def swf_movie(packing, version, tags):
    # A 1-bit RECT (all zero), 24 fps, one frame, the tags and an End tag.
    body = b"\x08\x00" + struct.pack("<HH", 24 << 8, 1) + tags + b"\x00\x00"
    length = struct.pack("<I", len(body) + 8)
    if packing == "F":
        return b"FWS" + bytes([version]) + length + body
    if packing == "C":
        return b"CWS" + bytes([version]) + length + zlib.compress(body)
    alone = lzma.compress(body, format=lzma.FORMAT_ALONE)
    return b"ZWS" + bytes([version]) + length + struct.pack("<I", len(alone) - 13) + alone[:5] + alone[13:]


def push(*strings):
    data = b"".join(b"\x00" + s + b"\x00" for s in strings)
    return b"\x96" + struct.pack("<H", len(data)) + data


def abc(*strings):
    pool = b"".join(bytes([len(s)]) + s for s in strings)
    return b"\x10\x00\x2e\x00\x00\x00\x00" + bytes([len(strings) + 1]) + pool


AS2 = (b"\x88\x13\x00\x02\x00levels/2.swf\x00_level1\x00" + b"\x96\x04\x00\x08\x00\x08\x01" +
       b"\x9a\x01\x00\x40" + b"\x83\x0c\x00cfg/a.xml\x00\x00" + push(b"music.mp3") + b"\x00")
CLIP = (b"\xa2\x01\x00\x05\x00\x00" + b"\x00\x00" + struct.pack("<I", 1) +
        struct.pack("<II", 1, len(push(b"clip.swf")) + 1) + push(b"clip.swf") + b"\x00" + struct.pack("<I", 0))
SWFS = [
    swf_movie("F", 6, swf_tag(12, AS2)),
    swf_movie("C", 6, swf_tag(26, CLIP) + swf_tag(39, b"\x01\x00\x01\x00" + swf_tag(12, AS2) + b"\x00\x00")),
    swf_movie("Z", 10, swf_tag(69, b"\x08\x00\x00\x00") +
              swf_tag(82, b"\x01\x00\x00\x00f\x00" + abc(b"assets/a.mp3", b"skin.png"))),
    swf_movie("C", 9, swf_tag(72, abc(b"x.xml")) + swf_tag(59, b"\x01\x00" + AS2)),
    b"CWS\x0a\xff\xff\xff\xff" + zlib.compress(b"\x00" * 4096),
]

def write(folder, name, items):
    path = os.path.join(folder, name)
    os.makedirs(path, exist_ok=True)
    for i, item in enumerate(items):
        with open(os.path.join(path, "seed%02d" % i), "wb") as f:
            f.write(item)


def raw(text):
    return text.encode("latin-1") if all(ord(c) < 256 for c in text) else text.encode("utf-8")


def main():
    folder = sys.argv[1]
    write(folder, "fuzz_url", [bytes([i % 24]) + raw(u) for i, u in enumerate(URLS)])
    write(folder, "fuzz_regedit4", [raw(h) for h in HIVES])
    write(folder, "fuzz_urlcache_index", [raw(x) for x in INDEXES])
    write(folder, "fuzz_page", [bytes([t]) + raw(p) for t, p in PAGES])
    write(folder, "fuzz_command_line", [raw(c) for c in COMMAND_LINES])
    write(folder, "fuzz_snapshot", [raw(x) for x in SNAPSHOTS])
    write(folder, "fuzz_warc", warc_seeds())
    write(folder, "fuzz_swf", SWFS)


if __name__ == "__main__":
    main()
