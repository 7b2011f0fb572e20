#!/usr/bin/env python3
"""End-to-end tests of vellumix-cli, run as a process.

    cli_e2e.py PATH-TO-VELLUMIX-CLI [GROUP ...]

GROUP is a test class below without its "Test" prefix (Create, Extract, ...); without one
every group runs. Archives come from Info-ZIP zip, Python's zipfile, 7z and the tool itself;
what the tool writes is checked by unzip -t, 7z t, bsdtar -tf and zipfile.testzip(), and PAK
files by a reader written here. Each test works in its own temporary directory.
"""
import json
import os
import random
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import warnings
import zipfile
import zlib

CLI = None


def run(*args, cwd=None):
    return subprocess.run([CLI, *map(str, args)], cwd=cwd, capture_output=True, text=True,
                          errors="replace", timeout=240)


def run_bytes(*args, cwd=None):
    """As run, with the output as the bytes a terminal would be given."""
    return subprocess.run([CLI, *map(str, args)], cwd=cwd, capture_output=True, timeout=240)


# Stored names that would recolour a terminal, forge a message line or ring its bell, and
# how messages show them.
HOSTILE_NAMES = ["\x1b[31mred\x1b[0m.txt", "two\nvellumix-cli: forged line.txt", "bell\x07\x7f.txt"]
ESCAPED_NAMES = ["\\x1b[31mred\\x1b[0m.txt", "two\\nvellumix-cli: forged line.txt", "bell\\x07\\x7f.txt"]


def tool(*args, cwd=None):
    """An outside tool; its exit status and output."""
    return subprocess.run(list(map(str, args)), cwd=cwd, capture_output=True, text=True,
                          errors="replace", timeout=240)


def deflate(data, level=9):
    """Raw deflate data, as a ZIP entry holds it."""
    packer = zlib.compressobj(level, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def crc_of(data):
    return zlib.crc32(data) & 0xFFFFFFFF


def build_zip(path, entries):
    """A ZIP written field by field, for records no ZIP library writes. Each entry is a dict:
    name (str or bytes), stored (the bytes as they lie), method (0 or 8), crc, size, and
    header_of: the index of an earlier entry whose local header the central record points at
    instead of one of its own."""
    body = b""
    offsets = []
    central = b""
    for e in entries:
        name = e["name"].encode("utf-8") if isinstance(e["name"], str) else e["name"]
        fields = struct.pack("<HHHHIIIHH", 0, e.get("method", 0), 0, 0x2821, e["crc"], len(e["stored"]),
                             e["size"], len(name), 0)
        if "header_of" in e:
            offsets.append(offsets[e["header_of"]])
        else:
            offsets.append(len(body))
            body += struct.pack("<IH", 0x04034B50, 20) + fields + name + e["stored"]
        central += struct.pack("<IHH", 0x02014B50, 20, 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, offsets[-1]) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(body), 0)
    with open(path, "wb") as f:
        f.write(body + central + end)


def stored_entry(name, data):
    return {"name": name, "stored": data, "method": 0, "crc": crc_of(data), "size": len(data)}


def deflated_entry(name, data):
    return {"name": name, "stored": deflate(data), "method": 8, "crc": crc_of(data), "size": len(data)}


def read_pak(path):
    """{stored name: bytes} of a PAK file, read by its layout alone."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"PACK", "not a PAK"
    offset, length = struct.unpack_from("<II", data, 4)
    entries = {}
    for i in range(length // 64):
        name, at, size = struct.unpack_from("<56sII", data, offset + 64 * i)
        entries[name.split(b"\0", 1)[0].decode("latin-1")] = data[at:at + size]
    return entries


def pak_names(path):
    """The stored names of a PAK file in its directory's order, duplicates and all."""
    with open(path, "rb") as f:
        data = f.read()
    offset, length = struct.unpack_from("<II", data, 4)
    return [struct.unpack_from("<56s", data, offset + 64 * i)[0].split(b"\0", 1)[0].decode("latin-1")
            for i in range(length // 64)]


def write_pak(path, entries):
    """A PAK file of (name, bytes) pairs, made here."""
    body = b""
    directory = b""
    for name, content in entries:
        directory += struct.pack("<56sII", name.encode("latin-1"), 12 + len(body), len(content))
        body += content
    with open(path, "wb") as f:
        f.write(b"PACK" + struct.pack("<II", 12 + len(body), len(directory)) + body + directory)


def write_wad2(path, lumps):
    """A WAD2 file made here from its layout: lumps are (name, type, bytes) or (name, type,
    bytes, compression)."""
    body = b""
    directory = b""
    for lump in lumps:
        name, kind, content = lump[:3]
        compression = lump[3] if len(lump) > 3 else 0
        directory += struct.pack("<IIIBBxx16s", 12 + len(body), len(content), len(content), kind, compression,
                                 name.encode("latin-1"))
        body += content
    with open(path, "wb") as f:
        f.write(b"WAD2" + struct.pack("<II", len(lumps), 12 + len(body)) + body + directory)


def read_wad2(path):
    """{name: (type, bytes)} of a WAD2 file, read by its layout alone."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"WAD2", "not a WAD2"
    count, offset = struct.unpack_from("<II", data, 4)
    lumps = {}
    for i in range(count):
        pos, disk, size, kind, compression, name = struct.unpack_from("<IIIBBxx16s", data, offset + 32 * i)
        assert compression == 0 and disk == size
        lumps[name.split(b"\0", 1)[0].decode("latin-1")] = (kind, data[pos:pos + size])
    return lumps


def read_zip(path):
    """{name: bytes} of the files of a ZIP archive, read by Python's zipfile."""
    with zipfile.ZipFile(path) as z:
        return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}


def folder_files(root, lower=True):
    """{relative path with "/": bytes} of the files below root."""
    files = {}
    for top, _, names in os.walk(root):
        for name in names:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, root).replace(os.sep, "/")
            with open(path, "rb") as f:
                files[rel.lower() if lower else rel] = f.read()
    return files


def make_folder(root, seed=1):
    """A small mixed mod folder: text, incompressible bytes, an empty file, an empty folder,
    capitals in names, nesting."""
    rnd = random.Random(seed)
    layout = {
        "Maps/E1M1.bsp": bytes(rnd.getrandbits(8) for _ in range(70000)),
        "Maps/e1m2.bsp": b"".join(b"entity %d origin %d %d\n" % (i, i * 3, i * 7) for i in range(3000)),
        "sound/misc/Beep.wav": b"RIFF" + bytes(rnd.getrandbits(8) for _ in range(5000)),
        "scripts/a.shader": b"textures/base/wall\n{\n  map $lightmap\n}\n" * 200,
        "empty.cfg": b"",
        "README.txt": b"Read me.\n",
    }
    for rel, content in layout.items():
        path = os.path.join(root, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
    os.makedirs(os.path.join(root, "textures", "Empty"), exist_ok=True)
    return {rel.lower(): content for rel, content in layout.items()}


def data_offset(path, info):
    """Where an entry's stored bytes start, from its local header."""
    with open(path, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
    name_length, extra_length = struct.unpack_from("<HH", header, 26)
    return info.header_offset + 30 + name_length + extra_length


def raw_entries(path):
    """{name: (method, stored bytes)} of the files of a ZIP archive."""
    raw = {}
    with zipfile.ZipFile(path) as z, open(path, "rb") as f:
        for info in z.infolist():
            if info.is_dir():
                continue
            f.seek(data_offset(path, info))
            raw[info.filename] = (info.compress_type, f.read(info.compress_size))
    return raw


def entry_bytes(path):
    """[(central record without its offset, local header with name, extra and data)] of each
    entry of a ZIP archive, in central-directory order, read by its layout alone."""
    with open(path, "rb") as f:
        data = f.read()
    end = data.rfind(b"PK\x05\x06")
    count, _, at = struct.unpack_from("<HII", data, end + 10)
    entries = []
    for _ in range(count):
        name_length, extra_length, comment_length = struct.unpack_from("<HHH", data, at + 28)
        size = 46 + name_length + extra_length + comment_length
        local = struct.unpack_from("<I", data, at + 42)[0]
        compressed = struct.unpack_from("<I", data, at + 20)[0]
        local_name, local_extra = struct.unpack_from("<HH", data, local + 26)
        record = data[at:at + 42] + data[at + 46:at + size]
        entries.append((record, data[local:local + 30 + local_name + local_extra + compressed]))
        at += size
    return entries


class Scratch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vellumix-cli-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def folder(self, name="Mod", seed=1):
        root = self.path(name)
        os.makedirs(root)
        return root, make_folder(root, seed)

    def ok(self, result):
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def refused(self, result, *named):
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        for text in named:
            self.assertIn(text, result.stderr)
        return result

    def escaped_stderr(self, result, lines, *named):
        """Checks that the messages of a refusal are `lines` lines without a raw control byte
        and hold each text of named; their text."""
        self.assertEqual(result.returncode, 1, result.stderr)
        text = result.stderr.decode("latin-1")
        self.assertEqual([c for c in text if (c < " " or c == "\x7f") and c != "\n"], [], text)
        self.assertEqual(text.count("\n"), lines, text)
        for line in text.splitlines():
            self.assertTrue(line.startswith("vellumix-cli: "), line)
        for name in named:
            self.assertIn(name, text)
        return text

    def no_leftovers(self, folder):
        self.assertEqual([n for n in os.listdir(folder) if n.endswith(".tmp")], [])

    def check_zip_with_outside_tools(self, archive):
        self.assertEqual(tool("unzip", "-t", archive).returncode, 0)
        seven = tool("7z", "t", archive)
        self.assertEqual(seven.returncode, 0, seven.stdout)
        self.assertIn("Everything is Ok", seven.stdout)
        self.assertEqual(tool("bsdtar", "-tf", archive).returncode, 0)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())


class TestUsage(Scratch):
    def test_an_open_error_escapes_the_name_it_quotes(self):
        archive = self.path("both.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr(HOSTILE_NAMES[1], b"a file")
            z.writestr(HOSTILE_NAMES[1] + "/", b"")
        for args in (("test", archive), ("extract", archive, "-C", self.path("out")),
                     ("convert", archive, self.path("out.pak"))):
            with self.subTest(command=args[0]):
                self.escaped_stderr(run_bytes(*args), 1,
                                    '"%s/" is stored both as a file and as a folder' % ESCAPED_NAMES[1])

    def test_usage_errors_exit_with_2(self):
        for args in [(), ("frobnicate",), ("list",), ("list", "a.pk3", "b.pk3"), ("test", "a.pk3", "--long"),
                     ("create", "out.txt", "dir"), ("create", "out.pk3"), ("create", "o.pk3", "d", "--level", "10"),
                     ("convert", "a.pak", "b.rar"), ("extract", "a.pk3", "-C"), ("list", "a.pk3", "--long", "--tsv"),
                     ("list", "a.pk3", "--json", "--tsv"), ("cat", "a.pk3"), ("cat", "a.pk3", "x", "y")]:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("usage:", result.stderr)
                self.assertEqual(result.stdout, "")

    def test_help_is_no_error(self):
        result = self.ok(run("--help"))
        self.assertIn("vellumix-cli create", result.stdout)

    def test_version_names_the_program(self):
        for flag in ("--version", "-V"):
            result = self.ok(run(flag))
            self.assertRegex(result.stdout, r"^vellumix-cli \(Vellumix\) [0-9]+\.[0-9]+\n$")
            self.assertEqual(result.stderr, "")

    def test_missing_and_foreign_archives_are_refused_by_name(self):
        self.refused(run("list", self.path("missing.pk3")), "missing.pk3")
        junk = self.path("junk.pk3")
        with open(junk, "wb") as f:
            f.write(b"not an archive at all" * 10)
        for command in ("list", "test", "extract"):
            self.refused(run(command, junk), "junk.pk3")
        self.refused(run("convert", junk, self.path("out.pak")), "junk.pk3")
        self.assertFalse(os.path.exists(self.path("out.pak")))


    def test_refused_archives_say_why(self):
        made = self.path("made.pk3")
        with zipfile.ZipFile(made, "w") as z:
            z.writestr("a.txt", "a")
            z.writestr("b/c.txt", "c")
        with open(made, "rb") as f:
            data = f.read()
        end = data.rfind(b"PK\x05\x06")
        central = struct.unpack_from("<I", data, end + 16)[0]
        no_end = "no end-of-central-directory record (not a ZIP archive, or cut short)"
        pak = self.path("made.pak")
        write_pak(pak, [("a.txt", b"a" * 10), ("b.txt", b"b" * 20)])
        with open(pak, "rb") as f:
            pak_data = f.read()
        cases = [
            ("empty.pk3", b"", "PK3", "the file is empty"),
            ("empty.pak", b"", "PAK", "the file is empty"),
            ("text.zip", b"Just some words.\n" * 20, "PK3", no_end),
            ("cut-in-data.pk3", data[:40], "PK3", no_end),
            ("cut-in-directory.pk3", data[:central + 20], "PK3", no_end),
            ("cut-in-end.pk3", data[:-3], "PK3", no_end),
            ("wrapped.pk3", data[:end + 10] + struct.pack("<H", 1) + data[end + 12:], "PK3",
             "the end record counts 1 entry but the directory holds 2"),
            ("comment.zip", data[:end + 20] + struct.pack("<H", 50) + b"a short comment", "PK3",
             "the comment's length runs past the end"),
            ("directory-past.pk3", data[:end + 16] + struct.pack("<I", len(data) + 100) + data[end + 20:],
             "PK3", "the central directory runs past the end of the file"),
            ("text.pak", b"Just some words.\n" * 20, "PAK", 'no "PACK" header (not a PAK archive)'),
            ("short.pak", pak_data[:8], "PAK", "its header is cut short"),
            ("cut.pak", pak_data[:-10], "PAK", "its directory runs past the end of the file"),
            ("cutpak", pak_data[:-10], "PK3", no_end),
        ]
        for name, content, kind, why in cases:
            with self.subTest(name=name):
                path = self.path(name)
                with open(path, "wb") as f:
                    f.write(content)
                for command in ("list", "test"):
                    result = self.refused(run(command, path))
                    self.assertEqual(result.stderr,
                                     "vellumix-cli: Error reading %s file: %s: %s.\n" % (kind, path, why))


class TestList(Scratch):
    def test_json_holds_the_fields_of_the_tab_separated_lines(self):
        archive = self.path("names.zip")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("maps/e1m1.bsp", b"b" * 300)
            z.writestr('q"uote\\tab\t.txt', b"x")
            z.writestr("caf\u00e9.txt", b"utf-8")
        listed = json.loads(self.ok(run("list", "--json", archive)).stdout)
        tabbed = self.ok(run("list", "--tsv", archive)).stdout.splitlines()
        with zipfile.ZipFile(archive) as z:
            infos = z.infolist()
        self.assertEqual([e["path"] for e in listed], [i.filename for i in infos])
        for entry, line, info in zip(listed, tabbed, infos):
            size, packed, method, crc, modified, offset, _ = line.split("\t")
            self.assertEqual(entry, {"size": int(size), "compressed": int(packed), "method": method, "crc32": crc,
                                     "modified": modified, "offset": int(offset), "path": info.filename})
            self.assertEqual(int(crc, 16), info.CRC)
        # A PAK keeps no CRC-32 and no time; an empty archive is an empty array.
        pak = self.path("p.pak")
        write_pak(pak, [("a\x01.txt", b"abc")])
        self.assertEqual(json.loads(self.ok(run("list", "--json", pak)).stdout),
                         [{"size": 3, "compressed": 3, "method": "stored", "crc32": None, "modified": None,
                           "offset": 12, "path": "a\x01.txt"}])
        empty = self.path("empty.pak")
        write_pak(empty, [])
        self.assertEqual(json.loads(self.ok(run("list", "--json", empty)).stdout), [])

    def test_tab_separated_lines_match_the_archive(self):
        root, _ = self.folder()
        archive = self.path("infozip.zip")
        self.ok(tool("zip", "-r", "-q", archive, "Mod", cwd=self.dir))
        lines = self.ok(run("list", "--tsv", archive)).stdout.splitlines()
        with zipfile.ZipFile(archive) as z:
            infos = z.infolist()
        self.assertEqual(len(lines), len(infos))
        for line, info in zip(lines, infos):
            size, packed, method, crc, modified, offset, name = line.split("\t")
            self.assertEqual(name, info.filename)
            self.assertEqual((int(size), int(packed), int(offset)), (info.file_size, info.compress_size, info.header_offset))
            self.assertEqual(method, {0: "stored", 8: "deflated"}[info.compress_type])
            self.assertEqual(int(crc, 16), info.CRC)
            self.assertEqual(modified, "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time)

    def test_names_are_escaped_in_one_line(self):
        archive = self.path("odd.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("tab\there", b"1")
            z.writestr("line\nbreak", b"2")
            z.writestr("back\\slash", b"3")
            z.writestr("esc\x1b[2Jdel\x7f", b"4")
        names = [line.split("\t")[-1] for line in self.ok(run("list", "--tsv", archive)).stdout.splitlines()]
        self.assertEqual(names, ["tab\\there", "line\\nbreak", "back\\\\slash", "esc\\x1b[2Jdel\\x7f"])
        human = self.ok(run("list", "--long", archive)).stdout
        self.assertIn("back\\slash", human)
        self.assertIn("esc\\x1b[2Jdel\\x7f", human)
        self.assertIn("4 entries", human)
        self.assertNotIn("\x1b", human)

    def test_pak_lists_offsets_and_sizes(self):
        pak = self.path("made.pak")
        write_pak(pak, [("maps/a.bsp", b"A" * 100), ("progs.dat", b"B" * 7)])
        lines = self.ok(run("list", "--tsv", pak)).stdout.splitlines()
        self.assertEqual(lines, ["100\t100\tstored\t\t\t12\tmaps/a.bsp", "7\t7\tstored\t\t\t112\tprogs.dat"])


class TestCreate(Scratch):
    def test_pk3_and_zip_pass_outside_tools_and_hold_the_folder(self):
        root, files = self.folder()
        expected = {"mod/" + rel: content for rel, content in files.items()}
        for name, level in [("l0.pk3", "0"), ("l6.zip", "6"), ("l9.PK3", "9"), ("default.zip", None)]:
            with self.subTest(archive=name):
                archive = self.path(name)
                args = ["create", archive, root] + (["--level", level] if level else [])
                self.ok(run(*args))
                self.check_zip_with_outside_tools(archive)
                self.assertEqual(read_zip(archive), expected)
                listed = tool("bsdtar", "-tf", archive).stdout.split()
                self.assertIn("mod/textures/empty/", listed)
                methods = {i.compress_type for i in zipfile.ZipFile(archive).infolist() if i.file_size}
                self.assertEqual(methods, {0} if level == "0" else {0, 8})
                out = self.path("unzipped-" + name)
                self.assertEqual(tool("unzip", "-q", archive, "-d", out).returncode, 0)
                self.assertEqual(folder_files(out), expected)
        self.no_leftovers(self.dir)

    def test_contents_and_single_files(self):
        root, files = self.folder()
        archive = self.path("contents.pk3")
        # Another file that would be stored as "readme.txt" too.
        other = self.path("readme.TXT")
        with open(other, "wb") as f:
            f.write(b"other")
        self.refused(run("create", archive, root + "/.", other), '"%s"' % other, '"readme.txt"')
        self.assertFalse(os.path.exists(archive))
        # The same folder named twice is stored once.
        self.ok(run("create", archive, root + "/.", self.path("Mod", "Maps")))
        self.assertEqual(read_zip(archive), files)
        self.ok(run("create", archive, self.path("Mod", "Maps", "E1M1.bsp"), self.path("Mod", "sound") + "/"))
        self.assertEqual(sorted(read_zip(archive)), ["e1m1.bsp", "sound/misc/beep.wav"])
        # "." stores the current folder's contents.
        self.ok(run("create", self.path("dot.pk3"), ".", cwd=root))
        self.assertEqual(read_zip(self.path("dot.pk3")), files)

    def test_pak_holds_the_folder(self):
        root, files = self.folder()
        pak = self.path("mod.pak")
        self.ok(run("create", pak, root + "/."))
        held = read_pak(pak)
        self.assertEqual({k: v for k, v in held.items() if not k.endswith("/")}, files)
        self.assertIn("textures/empty/", held)
        self.ok(run("test", pak))
        self.ok(run("extract", pak, "-C", self.path("out")))
        self.assertEqual(folder_files(self.path("out")), files)

    def test_limits_are_checked_before_anything_is_written(self):
        long_dir = self.path("Long")
        deep = os.path.join(long_dir, "textures", "a_rather_long_folder_name")
        os.makedirs(deep)
        name = "and_a_file_name_that_ends_past_56.tga"
        with open(os.path.join(deep, name), "wb") as f:
            f.write(b"x")
        pak = self.path("long.pak")
        with open(pak, "wb") as f:
            f.write(b"old archive")
        result = self.refused(run("create", pak, long_dir), "long/textures/a_rather_long_folder_name/" + name)
        self.assertIn("55", result.stderr)
        with open(pak, "rb") as f:
            self.assertEqual(f.read(), b"old archive")
        self.ok(run("create", self.path("long.pk3"), long_dir))

        many = self.path("Many")
        os.makedirs(many)
        for i in range(4097):
            open(os.path.join(many, "f%04d" % i), "wb").close()
        result = self.refused(run("create", self.path("many.pak"), many + "/."), '"f4096"', "4096")
        self.assertFalse(os.path.exists(self.path("many.pak")))
        os.remove(os.path.join(many, "f4096"))
        self.ok(run("create", self.path("many.pak"), many + "/."))
        self.assertEqual(len(read_pak(self.path("many.pak"))), 4096)
        self.no_leftovers(self.dir)

    def test_pk3_entry_limit(self):
        many = self.path("Many")
        os.makedirs(many)
        for i in range(65535):
            open(os.path.join(many, "%05d" % i), "wb").close()
        self.refused(run("create", self.path("many.pk3"), many + "/."), '"65534"', "65534")
        self.assertFalse(os.path.exists(self.path("many.pk3")))
        os.remove(os.path.join(many, "65534"))
        self.ok(run("create", self.path("many.pk3"), many + "/."))
        self.assertEqual(tool("unzip", "-tq", self.path("many.pk3")).returncode, 0)

    def test_names_the_archive_could_not_hold_are_refused(self):
        clash = self.path("Clash")
        os.makedirs(clash)
        for name in ("Readme.txt", "README.TXT"):
            with open(os.path.join(clash, name), "wb") as f:
                f.write(name.encode())
        self.refused(run("create", self.path("clash.pk3"), clash), "Readme.txt", "README.TXT", '"clash/readme.txt"')
        for bad in ("con.txt", "a\\b", "drive:x", "star*"):
            with self.subTest(name=bad):
                folder = self.path("Bad-" + str(abs(hash(bad))))
                os.makedirs(folder)
                with open(os.path.join(folder, bad), "wb") as f:
                    f.write(b"1")
                self.refused(run("create", self.path("bad.pk3"), folder), bad, "not allowed on disk")
        self.assertFalse(os.path.exists(self.path("clash.pk3")))
        self.assertFalse(os.path.exists(self.path("bad.pk3")))
        self.refused(run("create", self.path("gone.pk3"), self.path("nothing-here")), "nothing-here")

    def test_the_archive_is_not_stored_in_itself(self):
        root, files = self.folder()
        archive = os.path.join(root, "self.pk3")
        self.ok(run("create", archive, root + "/."))
        self.ok(run("create", archive, root + "/."))
        self.assertEqual(read_zip(archive), files)


class TestConvert(Scratch):
    def made_by_others(self):
        """Archives of the same folder by Info-ZIP zip, Python's zipfile and 7z."""
        root, files = self.folder()
        made = {}
        for flag in ("-0", "-6", "-9"):
            made["zip" + flag] = self.path("infozip%s.zip" % flag)
            self.ok(tool("zip", "-r", "-q", flag, made["zip" + flag], "Mod", cwd=self.dir))
        for name, method in (("py-deflated.pk3", zipfile.ZIP_DEFLATED), ("py-stored.pk3", zipfile.ZIP_STORED)):
            made[name] = self.path(name)
            with zipfile.ZipFile(made[name], "w", method) as z:
                for rel, content in sorted(files.items()):
                    z.writestr("mod/" + rel, content)
        made["7z"] = self.path("seven.zip")
        self.ok(tool("7z", "a", "-tzip", "-mx9", made["7z"], "Mod", cwd=self.dir))
        return files, made

    def test_round_trips_keep_every_entry(self):
        files, made = self.made_by_others()
        expected = {"mod/" + rel: content for rel, content in files.items()}
        for label, archive in made.items():
            with self.subTest(made_by=label):
                pak = self.path(label + ".pak")
                back = self.path(label + "-back.pk3")
                self.ok(run("convert", archive, pak))
                self.assertEqual({k: v for k, v in read_pak(pak).items() if not k.endswith("/")}, expected)
                self.ok(run("convert", pak, back, "--level", "9"))
                self.check_zip_with_outside_tools(back)
                self.assertEqual(read_zip(back), expected)
                again = self.path(label + "-again.pak")
                self.ok(run("convert", back, again))
                self.assertEqual(read_pak(again), read_pak(pak))
        self.no_leftovers(self.dir)

    def test_compressed_entries_are_kept_byte_for_byte(self):
        _, made = self.made_by_others()
        source = made["zip-9"]
        out = self.path("kept.pk3")
        self.ok(run("convert", source, out))
        # Names come out as the window program's save writes them: lower-cased.
        before = {name.lower(): raw for name, raw in raw_entries(source).items()}
        after = raw_entries(out)
        self.assertEqual(set(before), set(after))
        with zipfile.ZipFile(source) as z:
            # An entry whose deflated form is no smaller than its bytes is stored instead.
            smaller = {i.filename.lower() for i in z.infolist() if i.compress_size < i.file_size}
        deflated = [name for name, (method, _) in before.items() if method == 8 and name in smaller]
        self.assertTrue(deflated)
        for name in deflated:
            self.assertEqual(after[name], before[name], name)
        self.check_zip_with_outside_tools(out)

    def test_converting_in_place_and_a_damaged_source(self):
        _, made = self.made_by_others()
        archive = made["py-deflated.pk3"]
        before = read_zip(archive)
        self.ok(run("convert", archive, archive, "--level", "1"))
        self.assertEqual(read_zip(archive), before)
        self.no_leftovers(self.dir)

        damaged = self.path("damaged.zip")
        shutil.copy(made["zip-6"], damaged)
        with zipfile.ZipFile(damaged) as z:
            info = max((i for i in z.infolist() if i.compress_type == 8), key=lambda i: i.compress_size)
        at = data_offset(damaged, info) + info.compress_size // 2
        with open(damaged, "r+b") as f:
            f.seek(at)
            byte = f.read(1)
            f.seek(at)
            f.write(bytes([byte[0] ^ 0xFF]))
        out = self.path("from-damaged.pak")
        self.refused(run("convert", damaged, out), "damaged.zip", info.filename.lower())
        self.assertFalse(os.path.exists(out))
        self.no_leftovers(self.dir)

    def test_names_and_folders_beyond_ascii(self):
        # In a folder named in three scripts: ZIPs of Python (names flagged UTF-8) and of
        # Info-ZIP (UTF-8 bytes unflagged, which the ZIP format reads as code page 437) list
        # as zipfile reads them, test, extract, and convert with every name and flag kept;
        # an archive created from files named so flags their names UTF-8.
        base = self.path("\u041c\u043e\u0434 \u03a9\u03bc\u03ad\u03b3\u03b1 \u6a21\u7ec4")
        os.makedirs(os.path.join(base, "Mod", "\u041a\u0430\u0440\u0442\u0430"))
        files = {"Mod/\u041a\u0430\u0440\u0442\u0430/\u00e9.txt": b"x", "Mod/\u6a21\u7ec4.txt": b"y", "Mod/Ascii.txt": b"a"}
        for rel, content in files.items():
            with open(os.path.join(base, rel), "wb") as f:
                f.write(content)
        made_by = {"python": os.path.join(base, "python.pk3"), "info-zip": os.path.join(base, "info.zip")}
        with zipfile.ZipFile(made_by["python"], "w") as z:
            for rel, content in files.items():
                z.writestr(rel, content)
        self.ok(tool("zip", "-q", "-r", made_by["info-zip"], "Mod", cwd=base))

        def ascii_lower(name):
            return "".join(c.lower() if c < "\x80" else c for c in name)

        def names_and_flags(archive):
            with zipfile.ZipFile(archive) as z:
                return sorted((ascii_lower(i.filename), i.flag_bits & 0x800) for i in z.infolist() if not i.is_dir())

        for label, archive in made_by.items():
            with self.subTest(made_by=label):
                expected = names_and_flags(archive)
                listed = [line.split("\t")[-1] for line in self.ok(run("list", "--tsv", archive)).stdout.splitlines()]
                with zipfile.ZipFile(archive) as z:
                    self.assertEqual(listed, [i.filename for i in z.infolist()])
                self.ok(run("test", archive))
                out = os.path.join(base, "out-" + label)
                self.ok(run("extract", archive, "-C", out))
                with zipfile.ZipFile(archive) as z:
                    contents = {ascii_lower(i.filename): z.read(i) for i in z.infolist() if not i.is_dir()}
                self.assertEqual(folder_files(out, lower=False), contents)
                back = os.path.join(base, "back-" + label + ".pk3")
                self.ok(run("convert", archive, back))
                self.assertEqual(names_and_flags(back), expected)
        created = os.path.join(base, "created.pk3")
        self.ok(run("create", created, os.path.join(base, "Mod")))
        self.assertEqual(names_and_flags(created),
                         sorted((ascii_lower(rel), 0 if rel.isascii() else 0x800) for rel in files))
        self.assertIn("\u041a\u0430\u0440\u0442\u0430/\u00e9.txt", tool("unzip", "-l", created).stdout)
        self.check_zip_with_outside_tools(created)

    def test_convert_keeps_the_stored_order_and_with_keep_case_the_case(self):
        # Folders interleaved and files out of name order, as Python's zipfile and Info-ZIP
        # store what they are given: every conversion keeps the order. Names keep their case
        # with --keep-case and are lower-cased without it.
        order = ["sound/B.wav", "progs/Player.mdl", "sound/a.wav", "maps/E1M1.bsp", "progs/armor.mdl",
                 "video/idlogo.RoQ", "Makefile"]
        lowered = [name.lower() for name in order]
        for rel in order:
            os.makedirs(self.path("files", os.path.dirname(rel)), exist_ok=True)
            with open(self.path("files", rel), "wb") as f:
                f.write(rel.encode() * 50)
        made = {"python": self.path("python.pk3"), "info-zip": self.path("info.zip")}
        with zipfile.ZipFile(made["python"], "w", zipfile.ZIP_DEFLATED) as z:
            for rel in order:
                z.write(self.path("files", rel), rel)
        self.ok(tool("zip", "-q", "-D", made["info-zip"], *order, cwd=self.path("files")))

        def zip_files(archive):
            with zipfile.ZipFile(archive) as z:
                return [i.filename for i in z.infolist() if not i.is_dir()]

        # Info-ZIP's archive with a comment, which its folder entries and extra fields carry too.
        with open(self.path("comment.txt"), "w") as f:
            f.write("a comment\n")
        with open(self.path("comment.txt")) as comment:
            self.ok(subprocess.run(["zip", "-q", "-z", made["info-zip"]], stdin=comment, capture_output=True))
        for label, archive in made.items():
            # Written again unedited at the level it was made with, keeping the case of names:
            # the same bytes entry for entry (local header, extra fields, data, central record)
            # and the same comment; only the folder entries a ZIP gives each folder are added.
            same = self.path(label + "-same.zip")
            self.ok(run("convert", archive, same, "--keep-case"))
            self.assertEqual(entry_bytes(archive), [e for e in entry_bytes(same) if e in entry_bytes(archive)])
            self.assertEqual(len(entry_bytes(archive)), len(entry_bytes(same)) - 4, label)
            with zipfile.ZipFile(archive) as a, zipfile.ZipFile(same) as b:
                self.assertEqual(a.comment, b.comment)
                self.assertEqual([i.filename for i in b.infolist() if i.is_dir()],
                                 ["sound/", "progs/", "maps/", "video/"])
            for keep in (["--keep-case"], []):
                with self.subTest(made_by=label, options=keep):
                    self.assertEqual(zip_files(archive), order)
                    expected = order if keep else lowered
                    pak = self.path(label + ".pak")
                    self.ok(run("convert", archive, pak, *keep))
                    self.assertEqual(pak_names(pak), expected)
                    back = self.path(label + "-back.pk3")
                    self.ok(run("convert", pak, back, *keep))
                    self.assertEqual(zip_files(back), expected)
                    self.check_zip_with_outside_tools(back)
                    out = self.path("out-" + label + "".join(keep))
                    self.ok(run("extract", back, "-C", out, *keep))
                    self.assertEqual(sorted(folder_files(out, lower=False)), sorted(expected))
        # create keeps what the disk says with --keep-case.
        created = self.path("created.pk3")
        self.ok(run("create", created, self.path("files") + "/.", "--keep-case"))
        self.assertEqual(sorted(zip_files(created)), sorted(order))

    def test_paths_stored_twice_are_kept_and_the_first_is_used(self):
        # A PAK made here and a PK3 of Python's zipfile, each storing a path three times (once
        # in capitals): test warns, extract writes the first, convert keeps every copy in place.
        stored = [("progs/a.mdl", b"first"), ("maps/x.bsp", b"x"), ("progs/a.mdl", b"second"),
                  ("PROGS/A.MDL", b"third")]
        pak = self.path("twice.pak")
        write_pak(pak, stored)
        pk3 = self.path("twice.pk3")
        with zipfile.ZipFile(pk3, "w") as z, warnings.catch_warnings():
            warnings.simplefilter("ignore")
            for name, content in stored:
                z.writestr(name, content)
        for archive in (pak, pk3):
            with self.subTest(archive=os.path.basename(archive)):
                result = self.ok(run("test", archive))
                self.assertIn('warning: "progs/a.mdl" is stored 3 times; only the first is used', result.stderr)
                out = self.path("out-" + os.path.basename(archive))
                self.ok(run("extract", archive, "-C", out))
                self.assertEqual(folder_files(out), {"progs/a.mdl": b"first", "maps/x.bsp": b"x"})
                chosen = self.path("chosen-" + os.path.basename(archive))
                self.ok(run("extract", archive, "Progs/A.mdl", "-C", chosen))
                self.assertEqual(folder_files(chosen), {"progs/a.mdl": b"first"})
                for keep in (["--keep-case"], []):
                    converted = self.path("converted.pak")
                    self.ok(run("convert", archive, converted, *keep))
                    # One folder holds every copy, named as it was first stored.
                    names = ["progs/a.mdl", "maps/x.bsp", "progs/a.mdl", "progs/A.MDL" if keep else "progs/a.mdl"]
                    self.assertEqual(pak_names(converted), names)
                    again = self.path("again.pk3")
                    self.ok(run("convert", converted, again, *keep))
                    with zipfile.ZipFile(again) as z:
                        self.assertEqual([(i.filename, z.read(i)) for i in z.infolist() if not i.is_dir()],
                                         [(n, c) for n, (_, c) in zip(names, stored)])

    def test_times_survive_create_extract_and_convert(self):
        # create stores each file's time; extract gives each file its entry's time (a PAK's,
        # which stores none, the archive file's own); convert keeps a PK3 entry's time.
        when = {"old.txt": time.mktime((2003, 4, 5, 6, 7, 8, 0, 0, -1)),
                "sub/new.txt": time.mktime((2021, 11, 12, 13, 14, 16, 0, 0, -1))}
        for rel, moment in when.items():
            os.makedirs(self.path("files", os.path.dirname(rel)), exist_ok=True)
            with open(self.path("files", rel), "wb") as f:
                f.write(rel.encode())
            os.utime(self.path("files", rel), (moment, moment))
        created = self.path("created.pk3")
        self.ok(run("create", created, self.path("files")))
        with zipfile.ZipFile(created) as z:
            stamps = {i.filename: time.mktime(i.date_time + (0, 0, -1)) for i in z.infolist() if not i.is_dir()}
        self.assertEqual(stamps, {"files/" + rel: moment for rel, moment in when.items()})
        for label, archive in {"created": created, "converted": self.path("converted.pk3")}.items():
            if label == "converted":
                self.ok(run("convert", created, archive))
            with self.subTest(archive=label):
                out = self.path("out-" + label)
                self.ok(run("extract", archive, "-C", out))
                self.assertEqual({rel: os.stat(os.path.join(out, "files", rel)).st_mtime for rel in when}, when)
        pak = self.path("stamped.pak")
        write_pak(pak, [("maps/a.bsp", b"a"), ("b.txt", b"b")])
        pak_time = time.mktime((2010, 1, 2, 3, 4, 5, 0, 0, -1))
        os.utime(pak, (pak_time, pak_time))
        self.ok(run("extract", pak, "-C", self.path("out-pak")))
        for rel in ("maps/a.bsp", "b.txt"):
            self.assertEqual(os.stat(self.path("out-pak", rel)).st_mtime, pak_time, rel)

    def test_pk4_archives_of_other_tools_round_trip(self):
        # PK4 is a ZIP under another name: one made by Python opens, converts and comes back.
        files = {"def/weapons.def": b"weapon { damage 10 }\n" * 300, "textures/wall.tga": bytes(range(256)) * 40,
                 "maps/empty.map": b""}
        source = self.path("made.pk4")
        with zipfile.ZipFile(source, "w", zipfile.ZIP_DEFLATED) as z:
            for name, content in files.items():
                z.writestr(name, content)
        self.ok(run("test", source))
        listed = [line.split("\t")[-1] for line in self.ok(run("list", "--tsv", source)).stdout.splitlines()]
        self.assertEqual(sorted(listed), sorted(files))
        pak = self.path("made.pak")
        self.ok(run("convert", source, pak))
        self.assertEqual(read_pak(pak), files)
        back = self.path("back.PK4")
        self.ok(run("convert", pak, back, "--level", "9"))
        self.check_zip_with_outside_tools(back)
        self.assertEqual(read_zip(back), files)
        self.ok(run("create", self.path("new.pk4"), self.path("made.pak")))
        self.assertEqual(read_zip(self.path("new.pk4")), {"made.pak": open(pak, "rb").read()})
        broken = self.path("broken.pk4")
        with open(broken, "wb") as f:
            f.write(b"not a zip")
        self.refused(run("list", broken), "Error reading PK4 file", "no end-of-central-directory record")

    def test_wad2_lumps_keep_names_and_types_through_other_formats(self):
        rnd = random.Random(9)
        palette = bytes(rnd.getrandbits(8) for _ in range(768))
        picture = struct.pack("<II", 2, 2) + bytes(4)
        texture = b"wall\0" + bytes(11) + struct.pack("<II", 16, 16) + bytes(rnd.getrandbits(8) for _ in range(340))
        lumps = [("palette", 0x40, palette), ("conback", 0x42, picture), ("wall_01", 0x44, texture),
                 ("colormap", 0x43, bytes(16640 // 64))]
        wad = self.path("gfx.wad")
        write_wad2(wad, lumps)
        shown = {"palette.lmp", "conback.lmp", "wall_01.mip", "colormap"}
        listed = [line.split("\t")[-1] for line in self.ok(run("list", "--tsv", wad)).stdout.splitlines()]
        self.assertEqual(set(listed), shown)
        self.ok(run("test", wad))
        out = self.path("out")
        self.ok(run("extract", wad, "-C", out))
        self.assertEqual(folder_files(out), {"palette.lmp": palette, "conback.lmp": picture, "wall_01.mip": texture,
                                             "colormap": bytes(16640 // 64)})
        # Through a PK3 and back, names and types survive; written anew, each type comes from
        # the extension.
        pk3 = self.path("gfx.pk3")
        self.ok(run("convert", wad, pk3))
        self.assertEqual(set(read_zip(pk3)), shown)
        back = self.path("back.wad")
        self.ok(run("convert", pk3, back))
        self.assertEqual(read_wad2(back), {"palette": (0x40, palette), "conback": (0x42, picture),
                                           "wall_01": (0x44, texture), "colormap": (0, bytes(16640 // 64))})
        again = self.path("again.wad")
        self.ok(run("convert", wad, again))
        self.assertEqual(read_wad2(again), {name: (kind, content) for name, kind, content in lumps})
        # A folder from disk becomes a WAD2 of its files.
        made = self.path("made.wad")
        self.ok(run("create", made, out + "/."))
        self.assertEqual(read_wad2(made)["wall_01"], (0x44, texture))

    def test_wad2_limits_and_compressed_lumps_are_refused(self):
        folders = self.path("folders.pk3")
        with zipfile.ZipFile(folders, "w") as z:
            z.writestr("flat.mip", b"x")
            z.writestr("maps/e1m1.bsp", b"level")
        self.refused(run("convert", folders, self.path("no.wad")), '"maps/', "no folders")
        long_name = self.path("long.pk3")
        with zipfile.ZipFile(long_name, "w") as z:
            z.writestr("a_name_of_16_chr.mip", b"x")
            z.writestr("fifteen_letters.mip", b"y")
        self.refused(run("convert", long_name, self.path("no.wad")), '"a_name_of_16_chr.mip"', "16", "15")
        self.assertFalse(os.path.exists(self.path("no.wad")))
        compressed = self.path("compressed.wad")
        write_wad2(compressed, [("fine", 0x42, b"abcd"), ("packed", 0x44, b"lzss", 1)])
        self.refused(run("test", compressed), '"packed.mip": it is compressed in a way Vellumix cannot read')
        self.refused(run("convert", compressed, self.path("from.pk3")), "packed.mip", "compressed")
        broken = self.path("broken.wad")
        with open(broken, "wb") as f:
            f.write(b"IWAD" + bytes(8))
        self.refused(run("list", broken), "Error reading WAD2 file", 'no "WAD2" header')

    def test_entries_copied_unchanged_are_still_checked(self):
        # Entries deflated at the normal level are copied as they lie by a save at level 6,
        # yet a damaged one stops the conversion as one being recompressed would.
        text = b"".join(b"line %d of a long text\n" % i for i in range(20000))
        for label in ("wrong CRC-32", "damaged stream"):
            with self.subTest(label):
                bad = deflated_entry("maps/Bad.bsp", text)
                if label == "wrong CRC-32":
                    bad["crc"] ^= 1
                else:
                    bad["stored"] = bad["stored"][:40] + bytes(b ^ 0x55 for b in bad["stored"][40:80]) + bad["stored"][80:]
                source = self.path("source.zip")
                build_zip(source, [deflated_entry("a.txt", text), bad, deflated_entry("z.txt", text)])
                self.refused(run("test", source), '"maps/Bad.bsp"')
                out = self.path("out.pk3")
                result = self.refused(run("convert", source, out), "maps/bad.bsp")
                self.assertNotIn("written", result.stdout)
                self.assertFalse(os.path.exists(out))
                self.no_leftovers(self.dir)


class TestExtract(Scratch):
    HOSTILE = ["../x", "/abs", "C:\\x", "con.txt"]

    def test_cat_writes_one_files_bytes_and_refuses_a_folder_or_a_missing_path(self):
        data = bytes(range(256)) * 4000 + b"\r\n\x1a\n"
        archive = self.path("cat.pk3")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("Maps/E1M1.bsp", data)
            z.writestr("empty.txt", b"")
        pak = self.path("cat.pak")
        write_pak(pak, [("maps/e1m1.bsp", data)])
        for source, typed in ((archive, "maps/e1m1.bsp"), (archive, "MAPS\\E1M1.BSP"), (pak, "maps/e1m1.bsp")):
            with self.subTest(source=os.path.basename(source), typed=typed):
                result = run_bytes("cat", source, typed)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, data)
        self.assertEqual(run_bytes("cat", archive, "empty.txt").stdout, b"")
        for typed, why in (("maps", '"maps" is a folder, not a file'), ("nothing.txt", '"nothing.txt" is not in the archive')):
            with self.subTest(typed=typed):
                result = self.refused(run("cat", archive, typed), why)
                self.assertEqual(result.stdout, "")
        # A damaged entry is named, with exit 1.
        damaged = self.path("damaged.pk3")
        shutil.copy(archive, damaged)
        flip_byte_in(damaged, "Maps/E1M1.bsp")
        self.refused(run_bytes("cat", damaged, "maps/e1m1.bsp"))

    def test_existing_files_kept_are_counted_on_one_line(self):
        root, files = self.folder()
        archive = self.path("mod.pk3")
        self.ok(run("create", archive, root + "/."))
        out = self.path("out")
        self.ok(run("extract", archive, "-C", out))
        again = self.ok(run("extract", archive, "-C", out))
        self.assertEqual(again.stderr, "vellumix-cli: %s: %d existing files kept; --overwrite replaces them\n"
                         % (archive, len(files)))
        named = self.ok(run("extract", archive, "-C", out, "-v"))
        self.assertEqual(named.stderr.count("kept the existing"), len(files))
        self.assertIn("%d existing files kept" % len(files), named.stderr)
        os.remove(os.path.join(out, sorted(folder_files(out))[0]))
        one = self.ok(run("extract", archive, "-C", out, "--verbose"))
        self.assertIn("%d existing files kept" % (len(files) - 1), one.stderr)
        self.assertEqual(self.ok(run("extract", archive, "-C", out, "--overwrite")).stderr, "")

    def test_names_the_system_would_shorten_are_refused(self):
        # Windows drops a name's trailing dots and spaces: "a.txt." would be written over
        # "a.txt". Such names are refused on every system, the others written.
        archive = self.path("shortened.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("a.txt", b"plain a")
            z.writestr("a.txt.", b"dotted a")
            z.writestr("b.txt", b"plain b")
            z.writestr("b.txt ", b"spaced b")
            z.writestr("c d.txt", b"a space inside")
        out = self.path("out")
        for extra in ([], ["--overwrite"]):
            with self.subTest(args=extra):
                result = self.refused(run("extract", archive, "-C", out, *extra),
                                      '"a.txt.": refused: the name is not allowed on disk',
                                      '"b.txt ": refused: the name is not allowed on disk')
                self.assertIn("2 entries were not extracted (3 written)", result.stderr)
                self.assertEqual(folder_files(out), {"a.txt": b"plain a", "b.txt": b"plain b", "c d.txt": b"a space inside"})

    def test_refused_names_are_escaped_in_the_messages(self):
        archive = self.path("hostile.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            for name in HOSTILE_NAMES:
                z.writestr(name, b"bytes of " + name.encode())
            z.writestr("fine.txt", b"fine")
            z.writestr("del\x7f.txt", b"DEL is allowed on disk")
        out = self.path("out")
        # A control byte is not allowed on disk: each hostile name is refused, and named.
        self.escaped_stderr(run_bytes("extract", archive, "-C", out), 4,
                            *['"%s": refused' % name for name in ESCAPED_NAMES])
        self.assertEqual(folder_files(out), {"fine.txt": b"fine", "del\x7f.txt": b"DEL is allowed on disk"})
        # The path on disk is escaped as well (-v names each file kept).
        self.escaped_stderr(run_bytes("extract", archive, "-C", out, "-v"), 7,
                            '"del\\x7f.txt": kept the existing %s/del\\x7f.txt' % out)

    def test_hostile_names_write_nothing_outside(self):
        archive = self.path("hostile.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            for name in self.HOSTILE:
                z.writestr(zipfile.ZipInfo(name), b"evil")
            z.writestr("good/ok.txt", b"fine")
        pak = self.path("hostile.pak")
        write_pak(pak, [(name, b"evil") for name in self.HOSTILE] + [("good/ok.txt", b"fine")])
        for source in (archive, pak):
            with self.subTest(archive=os.path.basename(source)):
                out = self.path("out-" + os.path.basename(source), "inner")
                before = set(os.listdir(self.dir))
                result = self.refused(run("extract", source, "-C", out), *['"%s"' % n for n in self.HOSTILE])
                self.assertIn(os.path.basename(source), result.stderr)
                self.assertEqual(set(os.listdir(self.dir)) - before, {"out-" + os.path.basename(source)})
                self.assertEqual(folder_files(out), {"good/ok.txt": b"fine"})
                self.assertFalse(os.path.exists("/abs"))

    def test_a_link_in_the_way_is_not_followed(self):
        archive = self.path("maps.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("maps/e1m1.bsp", b"level")
            z.writestr("other.txt", b"other")
        outside = self.path("outside")
        out = self.path("out")
        os.makedirs(outside)
        os.makedirs(out)
        os.symlink(outside, os.path.join(out, "maps"))
        os.symlink(os.path.join(outside, "target.txt"), os.path.join(out, "other.txt"))
        self.refused(run("extract", archive, "-C", out, "--overwrite"), '"maps/e1m1.bsp"', '"other.txt"')
        self.assertEqual(os.listdir(outside), [])

    def test_archives_of_other_tools_extract_whole_and_chosen(self):
        root, files = self.folder()
        archives = {"zip": self.path("a.zip"), "7z": self.path("b.zip"), "py": self.path("c.pk3")}
        self.ok(tool("zip", "-r", "-q", archives["zip"], "Mod", cwd=self.dir))
        self.ok(tool("7z", "a", "-tzip", archives["7z"], "Mod", cwd=self.dir))
        with zipfile.ZipFile(archives["py"], "w", zipfile.ZIP_DEFLATED) as z:
            for rel, content in files.items():
                z.writestr("Mod/" + rel, content)
        expected = {"mod/" + rel: content for rel, content in files.items()}
        for label, archive in archives.items():
            with self.subTest(made_by=label):
                out = self.path("whole-" + label)
                self.ok(run("extract", archive, "-C", out))
                self.assertEqual(folder_files(out, lower=False), expected)
                chosen = self.path("chosen-" + label)
                # A path inside another chosen one is extracted once, without a "kept" note.
                result = self.ok(run("extract", archive, "Mod/Maps/", "mod/readme.txt", "mod/maps/E1M1.bsp", "-C", chosen))
                self.assertEqual(result.stderr, "")
                self.assertEqual(sorted(folder_files(chosen)), ["mod/maps/e1m1.bsp", "mod/maps/e1m2.bsp", "mod/readme.txt"])
        nothing = self.path("nothing")
        self.refused(run("extract", archives["zip"], "mod/missing.txt", "-C", nothing), "mod/missing.txt")
        self.assertFalse(os.path.exists(nothing))

    def test_existing_files_are_kept_unless_overwrite(self):
        archive = self.path("a.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("a.txt", b"new")
            z.writestr("b.txt", b"new")
        out = self.path("out")
        os.makedirs(out)
        with open(os.path.join(out, "a.txt"), "wb") as f:
            f.write(b"old")
        result = self.ok(run("extract", archive, "-C", out))
        self.assertIn("kept", result.stderr)
        self.assertEqual(folder_files(out), {"a.txt": b"old", "b.txt": b"new"})
        self.ok(run("extract", archive, "-C", out, "--overwrite"))
        self.assertEqual(folder_files(out), {"a.txt": b"new", "b.txt": b"new"})

    def test_overwrite_never_writes_through_a_hard_link(self):
        archive = self.path("a.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("a.txt", b"new bytes")
        outside = self.path("outside.txt")
        with open(outside, "wb") as f:
            f.write(b"keep me")
        out = self.path("out")
        os.makedirs(out)
        os.link(outside, os.path.join(out, "a.txt"))
        self.ok(run("extract", archive, "-C", out, "--overwrite"))
        with open(outside, "rb") as f:
            self.assertEqual(f.read(), b"keep me")
        self.assertEqual(folder_files(out), {"a.txt": b"new bytes"})
        self.assertEqual(os.stat(os.path.join(out, "a.txt")).st_nlink, 1)
        self.no_leftovers(out)

    def test_entries_without_a_usable_name_refuse_the_archive(self):
        nameless = self.path("nameless.pak")
        write_pak(nameless, [("a.txt", b"a"), ("", b"lost")])
        dot = self.path("dot.pk3")
        build_zip(dot, [stored_entry("a.txt", b"a"), stored_entry(".", b"lost")])
        nul = self.path("nulbyte.pk3")
        build_zip(nul, [stored_entry("ok.txt", b"fine"), stored_entry(b"ok.txt\0../../evil.txt", b"evil")])
        for archive, shown, reason in ((nameless, "", "which names no file"), (dot, ".", "which names no file"),
                                       (nul, "ok.txt\\x00../../evil.txt", "NUL byte")):
            with self.subTest(os.path.basename(archive)):
                listed = self.ok(run("list", "--tsv", archive)).stdout.splitlines()
                self.assertEqual(listed[-1].split("\t")[-1], shown)
                out = self.path("out-" + os.path.basename(archive))
                for args in (("extract", archive, "-C", out), ("test", archive),
                             ("convert", archive, self.path("converted.pk3"))):
                    self.refused(run(*args), os.path.basename(archive), reason)
                self.assertFalse(os.path.exists(os.path.join(out, "ok.txt")))
                self.assertFalse(os.path.exists(self.path("converted.pk3")))
                self.assertFalse(os.path.exists(self.path("evil.txt")))

    def test_messages_come_in_archive_order_whichever_thread_meets_the_fault(self):
        # Files are made on threads of their own: a file the system will not make (a name too
        # long for it), a name refused before any file is made, and damaged bytes are still
        # named in the tree's order, which for files of one folder is the newest first. Each
        # file that cannot be made is followed at once by the others, which are found while it
        # is still on its way.
        entries, problems = [], []
        for i in range(600):
            name, data = "f%03d.txt" % i, b"file %d\n" % i * (1 + i % 50)
            if i % 37 == 5:
                name = "%03d" % i + "x" * 300 + ".txt"
            elif i % 37 == 4:
                name = "f%03d.txt." % i
            entries.append(deflated_entry(name, data))
            if i % 37 in (3, 4, 5):
                problems.append(name)
        archive = self.path("faults.pk3")
        build_zip(archive, entries)
        for name in problems:
            if name.endswith(".txt") and len(name) < 100:
                flip_byte_in(archive, name)
        out = self.path("out")
        result = self.refused(run("extract", archive, "-C", out))
        # Each message names its entry first; a long name is cut short there.
        lines = result.stderr.splitlines()[:-1]
        named = [line.split('"')[1] for line in lines]
        self.assertEqual(len(named), len(problems), result.stderr)
        for said, name in zip(named, problems[::-1]):
            self.assertTrue(name.startswith(said[:-3] if said.endswith("...") else said), (said, name))
        self.assertIn("File name too long", result.stderr)
        self.assertIn("%d entries were not extracted (%d written)" % (len(problems), 600 - len(problems)), result.stderr)
        written = folder_files(out)
        self.assertEqual(len(written), 600 - len(problems))
        with zipfile.ZipFile(archive) as z:
            for name, data in written.items():
                self.assertEqual(data, z.read(name), name)

    def test_a_full_disk_ends_the_extraction_with_one_message(self):
        # A small file system of its own, in a mount namespace of the test's own.
        if tool("unshare", "-rm", "true").returncode != 0:
            self.skipTest("this machine gives no mount namespace to mount a small file system in")
        rnd = random.Random(3)
        archive = self.path("many.pk3")
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            for i in range(200):
                z.writestr("d/f%03d.bin" % i, bytes(rnd.getrandbits(8) for _ in range(65536)))
        out = self.path("small-disk")
        os.makedirs(out)
        script = ('mount -t tmpfs -o size=2m tmpfs "$1" || exit 99; "$2" extract "$3" -C "$1" 2>"$4"; echo "exit $?"; '
                  'find "$1" -type f -printf "%s %P\\n"')
        result = tool("unshare", "-rm", "sh", "-c", script, "sh", out, CLI, archive, self.path("stderr.txt"))
        lines = result.stdout.splitlines()
        self.assertEqual(lines[0], "exit 1", result.stdout + result.stderr)
        with open(self.path("stderr.txt")) as f:
            stderr = f.read()
        self.assertEqual(len(stderr.splitlines()), 1, stderr)
        self.assertIn("No space left on device", stderr)
        self.assertIn("stopped", stderr)
        files = [line.split(" ", 1) for line in lines[1:]]
        self.assertTrue(len(files) < 200, files)
        # On one worker the files are written in order until the room runs out; on several,
        # files written ahead of the one that failed took room too and are removed with the
        # rest after it, so that none may be left.
        if getattr(self, "WORKERS", None) == 1:
            self.assertGreater(len(files), 0)
        self.assertIn("(%d file%s written)" % (len(files), "" if len(files) == 1 else "s"), stderr)
        # Files written before stay whole; the one being written is gone.
        self.assertEqual({size for size, _ in files}, {"65536"})
        self.assertTrue(all(name.startswith("d/f") and name.endswith(".bin") for _, name in files), files)


def flip_byte_in(archive, victim):
    """Flips one bit in the middle of an entry's stored bytes."""
    with zipfile.ZipFile(archive) as z:
        info = z.getinfo(victim)
    at = data_offset(archive, info) + info.compress_size // 2
    with open(archive, "r+b") as f:
        f.seek(at)
        byte = f.read(1)
        f.seek(at)
        f.write(bytes([byte[0] ^ 0x01]))


class TestTest(Scratch):
    def test_damaged_entries_are_named_escaped(self):
        archive = self.path("hostile.pk3")
        with zipfile.ZipFile(archive, "w") as z:
            for name in HOSTILE_NAMES:
                z.writestr(name, b"bytes of " + name.encode())
        for name in HOSTILE_NAMES:
            flip_byte_in(archive, name)
        self.escaped_stderr(run_bytes("test", archive), 4,
                            *['"%s": its data does not match its CRC-32' % name for name in ESCAPED_NAMES])

    def test_a_flipped_byte_is_found_and_named(self):
        root, files = self.folder()
        made = self.path("made.pk3")
        self.ok(run("create", made, root))
        infozip = self.path("infozip.zip")
        self.ok(tool("zip", "-r", "-q", infozip, "Mod", cwd=self.dir))
        for archive, victim in ((made, "mod/maps/e1m1.bsp"), (infozip, "Mod/Maps/e1m2.bsp"), (infozip, "Mod/README.txt")):
            with self.subTest(archive=os.path.basename(archive), victim=victim):
                clean = self.ok(run("test", archive))
                self.assertIn("no errors found in %d files" % len(files), clean.stdout)
                damaged = self.path("damaged-" + os.path.basename(archive))
                shutil.copy(archive, damaged)
                flip_byte_in(damaged, victim)
                result = self.refused(run("test", damaged), os.path.basename(damaged), '"%s"' % victim)
                self.assertEqual(result.stderr.count('"'), 2, result.stderr)
                self.assertIn("1 of %d files are damaged" % len(files), result.stderr)

    def test_pak_bounds(self):
        pak = self.path("bounds.pak")
        write_pak(pak, [("good.txt", b"g" * 50), ("bad.txt", b"b" * 50)])
        self.ok(run("test", pak))
        with open(pak, "r+b") as f:
            data = f.read()
            directory = struct.unpack_from("<I", data, 4)[0]
            f.seek(directory + 64 + 60)
            f.write(struct.pack("<I", 100000))
        self.refused(run("test", pak), '"bad.txt"', "past the end of the file")
        self.assertNotIn("good.txt", run("test", pak).stderr)

    def test_entries_sharing_their_bytes_are_named_and_not_extracted(self):
        # Two hundred records over one local header of 100 MB of deflated zeros.
        bomb = deflated_entry("bomb000", bytes(100 << 20))
        entries = [bomb] + [dict(bomb, name="bomb%03d" % i, header_of=0) for i in range(1, 200)]
        entries.append(stored_entry("ok.txt", b"fine"))
        archive = self.path("bomb.zip")
        build_zip(archive, entries)
        result = self.refused(run("test", archive), '"bomb199": it shares its data with "bomb000"',
                              '"bomb000": it shares its data with "bomb001"')
        self.assertIn("200 of 201 files are damaged", result.stderr)
        out = self.path("out")
        self.refused(run("extract", archive, "-C", out), '"bomb001": it shares its data with "bomb000"')
        self.assertEqual(folder_files(out), {"ok.txt": b"fine"})
        # The archive still opens.
        self.assertEqual(len(self.ok(run("list", "--tsv", archive)).stdout.splitlines()), 201)

    def test_an_empty_entry_with_a_crc_is_damaged(self):
        empty = stored_entry("empty.cfg", b"")
        empty["crc"] = 0x1234ABCD
        archive = self.path("empty-crc.pk3")
        build_zip(archive, [stored_entry("a.txt", b"a"), stored_entry("fine.cfg", b""), empty])
        result = self.refused(run("test", archive), '"empty.cfg": its data does not match its CRC-32')
        self.assertIn("1 of 3 files are damaged", result.stderr)

    def test_damage_among_many_entries_is_named_in_archive_order(self):
        # Thousands of small entries (read many to a read), large ones (read in pieces), and
        # damage spread among them: test and extract name the damaged ones in the tree's order,
        # the same on one thread or several.
        rnd = random.Random(5)
        entries = []
        for i in range(3000):
            data = b"".join(b"line %d of %d\n" % (j, i) for j in range(rnd.randint(1, 40)))
            entries.append(deflated_entry("d%02d/f%04d.txt" % (i % 7, i), data))
        entries.insert(1200, stored_entry("big/stored.bin", os.urandom(3 << 20)))
        entries.insert(2500, deflated_entry("big/deflated.txt", b"".join(b"row %d\n" % j for j in range(400000))))
        archive = self.path("many.pk3")
        build_zip(archive, entries)
        # The tree's walk order, which puts the folder and the file it met last first.
        order = ["big/deflated.txt", "big/stored.bin", "d03/f2999.txt", "d03/f0010.txt", "d00/f1400.txt"]
        for name in order:
            flip_byte_in(archive, name)
        result = self.refused(run("test", archive))
        named = [line.split('"')[1] for line in result.stderr.splitlines() if line.count('"') == 2]
        self.assertEqual(named, order, result.stderr)
        self.assertIn("5 of 3002 files are damaged", result.stderr)
        out = self.path("out")
        result = self.refused(run("extract", archive, "-C", out))
        named = [line.split('"')[1] for line in result.stderr.splitlines() if line.count('"') == 2]
        self.assertEqual(named, order, result.stderr)
        self.assertIn("5 entries were not extracted (2997 written)", result.stderr)
        with zipfile.ZipFile(archive) as z:
            for name in ("d00/f0000.txt", "d02/f2998.txt", "d04/f1201.txt"):
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(f.read(), z.read(name))

    def test_a_worker_count_that_is_no_number_is_a_usage_error(self):
        archive = self.path("a.pk3")
        build_zip(archive, [stored_entry("a.txt", b"a")])
        for value in ("0", "x", "65", "2x"):
            with self.subTest(value=value):
                result = subprocess.run([CLI, "test", archive], capture_output=True, text=True,
                                        env=dict(os.environ, VELLUMIX_WORKERS=value), timeout=60)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("VELLUMIX_WORKERS", result.stderr)


class OnWorkers:
    """Runs a group with test and extract reading on a given number of threads: what they
    report must not depend on it."""
    WORKERS = None

    def setUp(self):
        super().setUp()
        old = os.environ.get("VELLUMIX_WORKERS")
        os.environ["VELLUMIX_WORKERS"] = str(self.WORKERS)
        self.addCleanup(lambda: os.environ.pop("VELLUMIX_WORKERS") if old is None
                        else os.environ.__setitem__("VELLUMIX_WORKERS", old))


class TestTestOnOneWorker(OnWorkers, TestTest):
    WORKERS = 1


class TestTestOnFourWorkers(OnWorkers, TestTest):
    WORKERS = 4


class TestExtractOnOneWorker(OnWorkers, TestExtract):
    WORKERS = 1


class TestExtractOnFourWorkers(OnWorkers, TestExtract):
    WORKERS = 4


class TestDiff(Scratch):
    # A mod and its base: one file the same (in other case), one changed with its size kept,
    # one with another size, one added, one removed.
    BASE = {"maps/e1m1.bsp": b"level one" * 500, "progs.dat": b"old progs", "gfx/conback.lmp": b"back",
            "sound/old.wav": b"gone"}
    MOD = {"Maps/E1M1.bsp": b"level one" * 500, "progs.dat": b"new progs", "gfx/conback.lmp": b"a longer back",
           "maps/e1m9.bsp": b"secret level"}
    LINES = "~ gfx/conback.lmp\n+ maps/e1m9.bsp\n~ progs.dat\n- sound/old.wav\n"
    PATCH = {"gfx/conback.lmp": b"a longer back", "maps/e1m9.bsp": b"secret level", "progs.dat": b"new progs"}

    def pk3(self, name, files):
        path = self.path(name)
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
            for stored, content in files.items():
                z.writestr(stored, content)
        return path

    def pak(self, name, files):
        path = self.path(name)
        write_pak(path, list(files.items()))
        return path

    def tree(self, name, files):
        root = self.path(name)
        for stored, content in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(stored)), exist_ok=True)
            with open(os.path.join(root, stored), "wb") as f:
                f.write(content)
        return root

    def diff(self, *args, status):
        result = run("diff", *args)
        self.assertEqual(result.returncode, status, result.stdout + result.stderr)
        return result

    def test_archives_and_folders_on_either_side_give_the_same_lines(self):
        mods = [self.pk3("mod.pk3", self.MOD), self.pak("mod.pak", self.MOD), self.tree("ModDir", self.MOD)]
        bases = [self.pk3("base.pk3", self.BASE), self.pak("base.pak", self.BASE), self.tree("BaseDir", self.BASE)]
        for mod in mods:
            for base in bases:
                with self.subTest(mod=os.path.basename(mod), base=os.path.basename(base)):
                    result = self.diff(mod, base, status=1)
                    self.assertEqual(result.stdout, self.LINES)
                    self.assertEqual(result.stderr, "")
                    tsv = self.diff(mod, base, "--tsv", status=1)
                    self.assertEqual(tsv.stdout, "changed\tgfx/conback.lmp\nadded\tmaps/e1m9.bsp\n"
                                                 "changed\tprogs.dat\nremoved\tsound/old.wav\n")
                    same = self.diff(mod, mod, status=0)
                    self.assertEqual(same.stdout + same.stderr, "")
        kept = self.diff(mods[0], bases[1], "--keep-case", "--tsv", status=1)
        self.assertNotIn("E1M1", kept.stdout)  # the same file: no line
        self.assertEqual(self.diff(mods[2], bases[1], "--keep-case", status=1).stdout, self.LINES)
        renamed = self.tree("Renamed", {"MAPS/E1M1.BSP": self.BASE["maps/e1m1.bsp"]})
        self.assertEqual(self.diff(renamed, bases[1], "--keep-case", status=1).stdout,
                         "- gfx/conback.lmp\n- progs.dat\n- sound/old.wav\n")

    def test_same_size_other_bytes_are_found_and_paths_are_escaped(self):
        base = self.pak("base.pak", {"a\tb.txt": b"abcdef", "big.bin": b"x" * 600000})
        mod = self.pk3("mod.pk3", {"a\tb.txt": b"abcdeF", "big.bin": b"x" * 599999 + b"y"})
        self.assertEqual(self.diff(mod, base, status=1).stdout, "~ a\\tb.txt\n~ big.bin\n")
        self.assertEqual(self.diff(mod, base, "--tsv", status=1).stdout, "changed\ta\\tb.txt\nchanged\tbig.bin\n")

    def test_a_path_stored_twice_counts_its_shown_file(self):
        twice = self.path("twice.pak")
        write_pak(twice, [("a.txt", b"first"), ("A.TXT", b"later")])
        self.diff(twice, self.pak("first.pak", {"a.txt": b"first"}), status=0)
        self.assertEqual(self.diff(twice, self.pak("later.pak", {"a.txt": b"later"}), status=1).stdout, "~ a.txt\n")

    def test_trouble_exits_with_2(self):
        base = self.pak("base.pak", self.BASE)
        mod = self.pk3("mod.pk3", self.MOD)
        flip_byte_in(mod, "Maps/E1M1.bsp")
        result = self.diff(mod, base, status=2)
        self.assertIn('mod.pk3: "Maps/E1M1.bsp": its data ', result.stderr)
        self.assertIn("damaged", result.stderr)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        # The other differences are still listed, the damaged file is not called changed.
        self.assertEqual(result.stdout, self.LINES)
        patch = self.path("patch.pk3")
        self.assertIn("not written", self.diff(mod, base, "--patch", patch, status=2).stderr)
        self.assertFalse(os.path.exists(patch))
        for args in [(base,), (base, base, base), (base, self.path("missing.pk3")), (base, base, "--long"),
                     (base, base, "--patch"), (base, base, "--patch", self.path("p.rar")),
                     (base, base, "--patch", base), (base, base, "--level", "10")]:
            with self.subTest(args=args):
                self.diff(*args, status=2)
        with open(base, "rb") as f:
            self.assertEqual(f.read()[:4], b"PACK")

    def test_the_patch_holds_what_the_first_side_adds_or_changes(self):
        base = self.pak("base.pak", self.BASE)
        for mod in (self.pk3("mod.pk3", self.MOD), self.tree("ModDir", self.MOD)):
            with self.subTest(mod=os.path.basename(mod)):
                zzz = self.path("zzz-patch.pk3")
                result = self.diff(mod, base, "--patch", zzz, status=1)
                self.assertEqual(result.stdout, self.LINES)
                self.assertIn("a patch cannot remove the 1 file", result.stderr)
                self.check_zip_with_outside_tools(zzz)
                self.assertEqual(read_zip(zzz), self.PATCH)
                pak2 = self.path("pak2.pak")
                self.diff(mod, base, "--patch", pak2, "--level", "0", status=1)
                self.assertEqual(read_pak(pak2), self.PATCH)
                # Laid over the base, the patch makes the mod.
                self.assertEqual(self.diff(zzz, pak2, status=0).stdout, "")
                self.no_leftovers(self.dir)
        # A patch written into the folder compared is left out of it.
        folder = self.tree("Inside", self.MOD)
        inside = os.path.join(folder, "patch.pk3")
        for _ in range(2):
            self.assertEqual(self.diff(folder, base, "--patch", inside, status=1).stdout, self.LINES)
        self.assertEqual(read_zip(inside), self.PATCH)
        # Nothing added or changed: an empty archive, and the sides are the same.
        empty = self.path("empty.pk3")
        result = self.diff(base, base, "--patch", empty, status=0)
        self.assertIn("the patch is empty", result.stderr)
        with zipfile.ZipFile(empty) as z:
            self.assertEqual(z.namelist(), [])


PICTURE_FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "core", "fixtures", "pictures")


class TestTarget(Scratch):
    """The rules of the engine an archive is for: create and convert refuse to break them
    unless --force, test names each one and exits 1."""

    def pak_of(self, count):
        pak = self.path("many-%d.pak" % count)
        write_pak(pak, [("maps/m%04d.bsp" % i, b"m") for i in range(count)])
        return pak

    def test_quake_entry_limit_on_create_convert_and_test(self):
        source = self.pak_of(2049)
        id1 = self.path("id1")
        os.makedirs(id1)
        rule = "Quake stops with a fatal error at more than 2,048 entries: this archive has 2,049"
        # Converted into a folder named id1, a PAK is for Quake, whose limit it passes.
        guessed = os.path.join(id1, "pak1.pak")
        result = self.refused(run("convert", source, guessed), rule, "breaks 1 rule of Quake",
                              "--force writes it anyway")
        self.assertFalse(os.path.exists(guessed))
        self.no_leftovers(id1)
        named = self.path("elsewhere.pak")
        self.refused(run("convert", source, named, "--target", "quake"), rule)
        self.assertFalse(os.path.exists(named))
        self.ok(run("convert", source, named, "--target=quake2"))
        self.assertEqual(len(read_pak(named)), 2049)
        forced = self.ok(run("convert", source, guessed, "--force"))
        self.assertIn("warning: " + rule, forced.stderr)
        self.assertEqual(len(read_pak(guessed)), 2049)
        self.ok(run("convert", self.pak_of(2048), self.path("full.pak"), "--target", "quake"))
        # test reads every entry and then names the rule.
        tested = self.refused(run("test", guessed), rule, "2049 files read without damage, but the archive breaks 1 rule of Quake")
        self.assertEqual(tested.stdout, "")
        self.ok(run("test", guessed, "--target", "any"))
        self.refused(run("test", named, "--target", "quake"), rule)
        # create: refused before a file is read.
        folder = self.path("Maps")
        os.makedirs(folder)
        for i in range(2049):
            with open(os.path.join(folder, "m%04d.bsp" % i), "wb") as f:
                f.write(b"m")
        made = os.path.join(id1, "pak2.pak")
        self.refused(run("create", made, folder), rule)
        self.assertFalse(os.path.exists(made))
        self.ok(run("create", made, folder, "--force"))
        self.assertEqual(len(read_pak(made)), 2049)

    def test_quake3_rules_on_convert_and_test(self):
        long_path = "textures/base/" + "t" * 46 + ".tga"  # 64 characters
        self.assertEqual(len(long_path), 64)
        source = self.path("mod.pk3")
        with zipfile.ZipFile(source, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr(long_path, b"texture")
            z.writestr("sound/up..down.wav", b"sound")
            z.writestr("maps/ok.bsp", b"bsp")
        baseq3 = self.path("baseq3")
        os.makedirs(baseq3)
        out = os.path.join(baseq3, "zz-mod.pk3")
        result = self.refused(run("convert", source, out), "breaks 2 rules of Quake III Arena family",
                              "cannot name a path longer than 63 characters (MAX_QPATH): \"%s\" has 64" % long_path,
                              "refuse a path holding \"..\"")
        self.assertFalse(os.path.exists(out))
        self.no_leftovers(baseq3)
        self.refused(run("convert", source, self.path("any.pk3"), "--target", "quake3"), "MAX_QPATH")
        self.ok(run("convert", source, self.path("any.pk3")))
        self.ok(run("convert", source, out, "--force"))
        self.check_zip_with_outside_tools(out)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(sorted(z.namelist()), sorted(["maps/", "maps/ok.bsp", "sound/", "sound/up..down.wav",
                                                           "textures/", "textures/base/", long_path]))
        self.refused(run("test", out), "MAX_QPATH", "3 files read without damage, but the archive breaks 2 rules")
        # Quake II's rules on a PK3: its format.
        self.refused(run("convert", source, self.path("q2.pk3"), "--target", "quake2"),
                     "Quake II reads only PAK files, and this is a PK3 file")

    def test_quake3_methods_and_zip64_records(self):
        lzma = self.path("lzma.pk3")
        with zipfile.ZipFile(lzma, "w") as z:
            z.writestr("maps/a.bsp", b"a" * 100, compress_type=zipfile.ZIP_LZMA)
            z.writestr("maps/b.bsp", b"b" * 100, compress_type=zipfile.ZIP_DEFLATED)
        result = self.refused(run("test", lzma, "--target", "quake3"),
                              "read only stored and deflated entries: \"maps/a.bsp\" is compressed by method 14 (LZMA)")
        # Without a target the same archive is only damaged for this tool, which reads no LZMA.
        self.assertNotIn("stored and deflated", run("test", lzma).stderr)
        folder = self.path("Z")
        os.makedirs(folder)
        with open(os.path.join(folder, "a.txt"), "wb") as f:
            f.write(b"zip64 records")
        zip64 = self.path("zip64.pk3")
        self.ok(tool("zip", "-q", "-fz", zip64, "a.txt", cwd=folder))
        self.refused(run("test", zip64, "--target", "quake3"), "know no ZIP64 records and cannot open this archive")
        self.ok(run("test", zip64))
        # What the tool writes has none.
        converted = self.path("converted.pk3")
        self.ok(run("convert", zip64, converted, "--target", "quake3"))
        self.ok(run("test", converted, "--target", "quake3"))

    def test_a_target_the_tool_does_not_know_is_a_usage_error(self):
        result = run("test", self.pak_of(1), "--target", "doom")
        self.assertEqual(result.returncode, 2)
        self.assertIn("--target takes any, quake, quake2 or quake3, not \"doom\"", result.stderr)
        self.assertEqual(run("list", self.pak_of(1), "--target", "doom").returncode, 2)


class TestGameFolder(Scratch):
    """A folder read as its game reads it: the archives its engine searches, in its order,
    then the loose files; each path read from the first place holding it."""

    PAK0 = [("maps/e1m1.bsp", b"e1m1 of pak0"), ("progs.dat", b"progs of pak0"), ("sound/a.wav", b"a of pak0")]
    PAK1 = [("maps/e1m1.bsp", b"e1m1 of pak1"), ("progs.dat", b"progs of pak1"), ("sound/b.wav", b"b of pak1")]
    PAK3 = [("maps/e1m1.bsp", b"e1m1 of pak3"), ("sound/a.wav", b"a of pak3")]
    LOOSE = {"Progs.dat": b"loose progs", "sub/readme.txt": b"loose readme"}
    # What Quake reads (pak1 over pak0; pak3, past the missing pak2, is a loose file), and
    # what Quake II reads (pak3 over pak1 over pak0), as {path: (from, shadowed, bytes)}.
    QUAKE = {"maps/e1m1.bsp": ("pak1.pak", 1, b"e1m1 of pak1"), "progs.dat": ("pak1.pak", 2, b"progs of pak1"),
             "sound/a.wav": ("pak0.pak", 0, b"a of pak0"), "sound/b.wav": ("pak1.pak", 0, b"b of pak1"),
             "pak3.pak": ("folder", 0, None), "sub/readme.txt": ("folder", 0, b"loose readme")}
    QUAKE2 = {"maps/e1m1.bsp": ("pak3.pak", 2, b"e1m1 of pak3"), "progs.dat": ("pak1.pak", 2, b"progs of pak1"),
              "sound/a.wav": ("pak3.pak", 1, b"a of pak3"), "sound/b.wav": ("pak1.pak", 0, b"b of pak1"),
              "sub/readme.txt": ("folder", 0, b"loose readme")}

    def game(self, name="id1"):
        """pak0, pak1 and pak3 (no pak2) with overlapping paths, and loose files beside them."""
        root = self.path(*name.split("/"))
        for rel, content in self.LOOSE.items():
            os.makedirs(os.path.join(root, os.path.dirname(rel)), exist_ok=True)
            with open(os.path.join(root, rel), "wb") as f:
                f.write(content)
        for number, entries in ((0, self.PAK0), (1, self.PAK1), (3, self.PAK3)):
            write_pak(os.path.join(root, "pak%d.pak" % number), entries)
        return root

    def tsv(self, *args):
        """{lower-cased path: (from, shadowed, size)} of list --tsv's file lines."""
        listed = {}
        for line in self.ok(run("list", *args, "--tsv")).stdout.splitlines():
            fields = line.split("\t")
            self.assertEqual(len(fields), 9, line)
            if not fields[8].endswith("/"):
                listed[fields[8].lower()] = (fields[6], int(fields[7]), int(fields[0]))
        return listed

    def expected(self, root, table):
        pak3 = os.path.getsize(os.path.join(root, "pak3.pak"))
        return {path: (place, shadowed, pak3 if data is None else len(data))
                for path, (place, shadowed, data) in table.items()}

    def test_list_tsv_and_json_name_where_each_path_is_read_from(self):
        root = self.game()
        self.assertEqual(self.tsv(root), self.expected(root, self.QUAKE))
        self.assertEqual(self.tsv(root, "--target", "quake"), self.expected(root, self.QUAKE))
        listed = json.loads(self.ok(run("list", root, "--json")).stdout)
        self.assertEqual({e["path"].lower(): (e["from"], e["shadowed"], e["size"]) for e in listed
                          if not e["path"].endswith("/")}, self.expected(root, self.QUAKE))

    def test_the_target_given_changes_the_winners(self):
        root = self.game()
        self.assertEqual(self.tsv(root, "--target", "quake2"), self.expected(root, self.QUAKE2))
        # Guessed from the name of a Quake II folder.
        self.assertEqual(self.tsv(self.game("baseq2")), self.expected(root, self.QUAKE2))
        for target, wins in (("quake", b"e1m1 of pak1"), ("quake2", b"e1m1 of pak3")):
            with self.subTest(target=target):
                result = run_bytes("cat", root, "MAPS/e1m1.bsp", "--target", target)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, wins)

    def test_a_folder_is_a_game_folder_unless_named_as_an_archive(self):
        # A folder named like an archive is no archive: it is refused as one, as before.
        for name, kind in (("folder.pk3", "PK3"), ("folder.pak", "PAK")):
            with self.subTest(name=name):
                path = self.path(name)
                os.makedirs(path)
                result = run("list", path, "--tsv")
                self.assertEqual(result.returncode, 1)
                self.assertIn("Error reading " + kind + " file", result.stderr)
                self.assertIn("it is a folder", result.stderr)
        path = self.path("folder")
        os.makedirs(path)
        self.assertEqual(self.ok(run("list", path, "--tsv")).stdout, "")
        self.ok(run("test", path))
        with open(os.path.join(path, "notes.txt"), "wb") as f:
            f.write(b"notes")
        self.assertEqual(self.tsv(path), {"notes.txt": ("folder", 0, 5)})

    def test_the_listing_shows_from_with_a_star_on_what_shadows(self):
        root = self.game()
        lines = self.ok(run("list", root)).stdout.splitlines()
        self.assertIn("From", lines[0].split())
        rows = {line.split()[-1].lower(): line.split()[-2] for line in lines[1:-2]}
        self.assertEqual(rows["maps/e1m1.bsp"], "pak1.pak*")
        self.assertEqual(rows["progs.dat"], "pak1.pak*")
        self.assertEqual(rows["sound/a.wav"], "pak0.pak")
        self.assertEqual(rows["pak3.pak"], "folder")
        self.assertEqual(rows["sub/readme.txt"], "folder")
        self.assertTrue(lines[-1].startswith("2 of them (marked *)"), lines[-1])
        long_lines = self.ok(run("list", root, "--long")).stdout.splitlines()
        self.assertIn("From", long_lines[0].split())
        self.assertIn("pak1.pak*", [line.split()[-2] for line in long_lines[1:-2]])

    def test_test_checks_every_archive_searched(self):
        root = self.game()
        self.ok(run("test", root))
        # A pak whose directory lies past its end: left out and named, exit 1.
        with open(os.path.join(root, "pak1.pak"), "r+b") as f:
            f.seek(4)
            f.write(struct.pack("<I", 0x100000))
        result = self.refused(run("test", root), "pak1.pak is not searched")
        # The rest is still read: pak0's map wins now.
        self.assertEqual(self.ok(run_bytes("cat", root, "maps/e1m1.bsp")).stdout, b"e1m1 of pak0")
        self.assertIn("pak1.pak", result.stderr)
        # A damaged entry of a pk3 the game searches is named.
        q3 = self.path("baseq3")
        os.makedirs(q3)
        with zipfile.ZipFile(os.path.join(q3, "pak0.pk3"), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("scripts/a.shader", b"textures/base/wall\n{\n}\n" * 300)
            z.writestr("maps/q3dm1.bsp", b"level" * 2000)
        self.ok(run("test", q3))
        flip_byte_in(os.path.join(q3, "pak0.pk3"), "maps/q3dm1.bsp")
        self.refused(run("test", q3), '"maps/q3dm1.bsp": its data', "1 of 2 files are damaged")

    def test_extract_and_cat_read_the_winners(self):
        root = self.game()
        out = self.path("out")
        self.ok(run("extract", root, "-C", out))
        with open(os.path.join(root, "pak3.pak"), "rb") as f:
            pak3 = f.read()
        self.assertEqual(folder_files(out), {path: pak3 if data is None else data
                                             for path, (_, _, data) in self.QUAKE.items()})
        self.assertEqual(self.ok(run_bytes("cat", root, "progs.dat")).stdout, b"progs of pak1")
        self.assertEqual(self.ok(run_bytes("cat", root, "Sub/ReadMe.txt")).stdout, b"loose readme")
        self.refused(run("cat", root, "sound/c.wav"))

    def test_diff_compares_a_mod_folder_with_its_base_as_the_game_reads_them(self):
        base = self.path("quake", "id1")
        mod = self.path("quake", "mymod")
        os.makedirs(base)
        os.makedirs(os.path.join(mod, "gfx"))
        write_pak(os.path.join(base, "pak0.pak"), [("maps/e1m1.bsp", b"level one"), ("progs.dat", b"base progs"),
                                                   ("gfx/a.lmp", b"pic")])
        with open(os.path.join(base, "autoexec.cfg"), "wb") as f:
            f.write(b"bind")
        # The mod's pak0 repeats the base's progs, its pak1 changes them; its loose picture is
        # the base's.
        write_pak(os.path.join(mod, "pak0.pak"), [("progs.dat", b"base progs"), ("maps/new.bsp", b"new level")])
        write_pak(os.path.join(mod, "pak1.pak"), [("progs.dat", b"mod progs!")])
        with open(os.path.join(mod, "gfx", "A.lmp"), "wb") as f:
            f.write(b"pic")
        lines = "- autoexec.cfg\n- maps/e1m1.bsp\n+ maps/new.bsp\n~ progs.dat\n"
        result = run("diff", mod, base)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stdout, lines)
        # The patch, written into the mod's folder, is left out of the mod's side, and the
        # pk3 it is tells nothing of the folder's game when it is there the second time.
        patch = os.path.join(mod, "patch.pk3")
        for attempt in range(2):
            with self.subTest(attempt=attempt):
                result = run("diff", mod, base, "--patch", patch)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertEqual(result.stdout, lines)
                self.check_zip_with_outside_tools(patch)
                self.assertEqual(read_zip(patch), {"maps/new.bsp": b"new level", "progs.dat": b"mod progs!"})
        self.assertEqual(run("diff", base, base).returncode, 0)


def sample_palette(seed=3):
    return bytes((i * seed + 1) & 0xFF for i in range(768))


def lmp(width, height, pixels):
    return struct.pack("<II", width, height) + bytes(pixels)


def wal(name, width, height, pixels):
    """A Quake II texture: its 100-byte header, then its four mip levels."""
    offsets, at = [], 100
    for level in range(4):
        offsets.append(at)
        at += (width >> level) * (height >> level)
    header = struct.pack("<32sII4I32sIII", name.encode(), width, height, *offsets, b"", 0, 0, 0)
    return (header + bytes(pixels)).ljust(at, b"\x42")


def in_palette(pixels, palette, transparent=None):
    """The RGBA of 8-bit pixels in a palette (grey levels without one)."""
    out = bytearray()
    for i in pixels:
        out += palette[i * 3:i * 3 + 3] if palette else bytes((i, i, i))
        out.append(0 if i == transparent else 255)
    return bytes(out)


def png_rgba(path):
    """A PNG's pixels as ImageMagick reads them, and its size."""
    result = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], capture_output=True, timeout=60)
    assert result.returncode == 0, result.stderr
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, timeout=60)
    return result.stdout, tuple(map(int, size.stdout.split()))


class TestImages(Scratch):
    def fixture(self, name):
        with open(os.path.join(PICTURE_FIXTURES, name), "rb") as f:
            return f.read()

    def expect_png(self, path, rgba, size):
        self.assertTrue(os.path.exists(path), path)
        pixels, shown = png_rgba(path)
        self.assertEqual(shown, size, path)
        self.assertEqual(pixels, rgba, path)

    def test_our_pictures_are_written_beside_their_files_in_the_archives_palette(self):
        palette = sample_palette()
        pic = [255, 0, 7, 200, 31, 128]
        texture = [(i * 37 + 5) & 0xFF for i in range(8 * 4)]
        archive = self.path("game.pak")
        write_pak(archive, [("gfx/palette.lmp", palette), ("gfx/pic.lmp", lmp(3, 2, pic)),
                            ("textures/wall.wal", wal("wall", 8, 4, texture)),
                            ("gfx/colormap.lmp", bytes(16385)), ("readme.txt", b"text"),
                            ("textures/truecolour.tga", self.fixture("tc32_rle_top.tga")),
                            ("pics/colours.pcx", self.fixture("pcx8.pcx")),
                            ("textures/bad.tga", b"this is no picture at all, only words")])
        out = self.path("out")
        result = self.refused(run("extract", archive, "-C", out, "--images", "png"), '"textures/bad.tga"',
                              "1 picture was not written as PNG (5 written)")
        self.assertNotIn("entries were not extracted", result.stderr)
        self.expect_png(os.path.join(out, "gfx", "pic.lmp.png"), in_palette(pic, palette, 255), (3, 2))
        # Quake II's palette is looked for first, then Quake's.
        self.expect_png(os.path.join(out, "textures", "wall.wal.png"), in_palette(texture, palette), (8, 4))
        self.expect_png(os.path.join(out, "gfx", "palette.lmp.png"), in_palette(range(256), palette), (16, 16))
        self.expect_png(os.path.join(out, "textures", "truecolour.tga.png"), self.fixture("tc32_rle_top.rgba"), (37, 23))
        self.expect_png(os.path.join(out, "pics", "colours.pcx.png"), self.fixture("pcx8.rgba"), (37, 23))
        for none in ["gfx/colormap.lmp.png", "readme.txt.png", "textures/bad.tga.png"]:
            self.assertFalse(os.path.exists(os.path.join(out, none)), none)
        # Every file was extracted as it is, the pictures too.
        self.assertEqual(len([f for f in folder_files(out) if not f.endswith(".png")]), 8)

        # Existing PNG files are kept unless --overwrite, as the extracted files are.
        os.remove(os.path.join(out, "gfx", "pic.lmp"))
        png = os.path.join(out, "gfx", "pic.lmp.png")
        with open(png, "wb") as f:
            f.write(b"mine")
        kept = self.ok(run("extract", archive, "gfx/pic.lmp", "-C", out, "--images", "png"))
        self.assertIn("kept the existing " + png, kept.stderr)
        self.assertEqual(folder_files(out)["gfx/pic.lmp.png"], b"mine")
        self.ok(run("extract", archive, "gfx/pic.lmp", "-C", out, "--images=png", "--overwrite"))
        self.expect_png(png, in_palette(pic, palette, 255), (3, 2))

    def test_a_file_the_archive_holds_under_the_pngs_name_is_extracted_not_the_png(self):
        # Whichever of the two comes first, the archive's own x.tga.png is what the folder gets.
        own = b"the archive's own PNG"
        picture = self.fixture("tc32_rle_top.tga")
        for order in ([("textures/x.tga", picture), ("textures/X.TGA.png", own)],
                      [("textures/x.tga.png", own), ("textures/x.tga", picture)]):
            archive = self.path("both.pak")
            write_pak(archive, order)
            out = self.path("both")
            shutil.rmtree(out, ignore_errors=True)
            result = self.refused(run("extract", archive, "-C", out, "--images", "png"), '"textures/x.tga"',
                                  "the archive holds a file of that name",
                                  "1 picture was not written as PNG (0 written)")
            self.assertNotIn("kept the existing", result.stderr)
            files = {name.lower(): data for name, data in folder_files(out).items()}
            self.assertEqual(files, {"textures/x.tga": picture, "textures/x.tga.png": own})

    def test_the_palette_comes_from_pak0_beside_the_archive_or_pictures_are_grey(self):
        palette = sample_palette(5)
        pic = [1, 2, 3, 250, 255, 9, 0, 128]
        mod = self.path("game", "mymod.pk3")
        os.makedirs(os.path.dirname(mod))
        with zipfile.ZipFile(mod, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("gfx/title.lmp", lmp(4, 2, pic))
            z.writestr("gfx/conchars.lmp", bytes(range(256)) * 64)
        write_pak(self.path("game", "PAK0.PAK"), [("gfx/palette.lmp", palette)])
        out = self.path("out")
        result = self.ok(run("extract", mod, "-C", out, "--images", "png"))
        self.assertEqual(result.stderr, "")
        self.expect_png(os.path.join(out, "gfx", "title.lmp.png"), in_palette(pic, palette, 255), (4, 2))
        self.expect_png(os.path.join(out, "gfx", "conchars.lmp.png"), in_palette(list(range(256)) * 64, palette, 0),
                        (128, 128))

        alone = self.path("alone.pk3")
        shutil.copy(mod, alone)
        grey = self.path("grey")
        result = self.ok(run("extract", alone, "-C", grey, "--images", "png"))
        self.assertIn("no game palette found", result.stderr)
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.expect_png(os.path.join(grey, "gfx", "title.lmp.png"), in_palette(pic, None, 255), (4, 2))
        self.assertEqual(run("extract", alone, "-C", grey, "--images", "gif").returncode, 2)


class TestInterrupt(Scratch):
    def test_ctrl_c_and_sigterm_leave_the_target_as_it_was(self):
        big = self.path("Big")
        os.makedirs(big)
        rnd = random.Random(5)
        words = [bytes(rnd.choice(b"abcdefghij") for _ in range(rnd.randint(2, 9))) for _ in range(5000)]
        for i in range(40):
            with open(os.path.join(big, "part%02d.txt" % i), "wb") as f:
                f.write(b" ".join(rnd.choice(words) for _ in range(250000)))
        target = self.path("big.pk3")
        with open(target, "wb") as f:
            f.write(b"the archive before")
        # The exit status a shell expects of each signal: 128 and its number.
        for sent, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(signal=sent.name):
                process = subprocess.Popen([CLI, "create", target, big, "--level", "9"], stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE, text=True)
                # Wait until the temporary file is being written, then ask the tool to stop.
                deadline = time.monotonic() + 120
                started = False
                while not started and process.poll() is None and time.monotonic() < deadline:
                    started = any(n.endswith(".tmp") and os.path.getsize(self.path(n)) > 0
                                  for n in os.listdir(self.dir) if n.startswith("big.pk3."))
                self.assertTrue(started, "the tool never started writing")
                process.send_signal(sent)
                _, stderr = process.communicate(timeout=120)
                self.assertEqual(process.returncode, status, stderr)
                self.assertIn("interrupted", stderr)
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), b"the archive before")
                self.no_leftovers(self.dir)


class TestMemory(Scratch):
    """Run with the optimized tool: the sanitized one reserves far more address space."""
    LIMIT = 96 << 20  # bytes of address space the tool may have, a tenth of the entry

    def limited(self, *args):
        return subprocess.run(["prlimit", "--as=%d" % self.LIMIT, CLI, *map(str, args)], capture_output=True,
                              text=True, errors="replace", timeout=600)

    @staticmethod
    def zeros_crc(size):
        crc = 0
        chunk = bytes(1 << 20)
        for _ in range(size >> 20):
            crc = zlib.crc32(chunk, crc)
        return crc & 0xFFFFFFFF

    def sparse_stored_zip(self, path, size):
        """A ZIP of one stored entry of size zero bytes (a multiple of a megabyte), most of it a
        hole in the file."""
        name = b"big.bin"
        fields = struct.pack("<HHHHIIIHH", 0, 0, 0, 0x2821, self.zeros_crc(size), size, size, len(name), 0)
        with open(path, "wb") as f:
            f.write(struct.pack("<IH", 0x04034B50, 20) + fields + name)
            f.seek(size, os.SEEK_CUR)
            central = struct.pack("<IHH", 0x02014B50, 20, 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, 0) + name
            at = f.tell()
            f.write(central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, len(central), at, 0))

    def test_a_gigabyte_entry_is_compared_by_its_bytes_in_bounded_memory(self):
        size = 1 << 30
        pak = self.path("big.pak")
        with open(pak, "wb") as f:
            f.write(b"PACK" + struct.pack("<II", 12 + size, 64))
            f.seek(size, os.SEEK_CUR)
            f.write(struct.pack("<56sII", b"big.bin", 12, size))
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = b"".join(packer.compress(bytes(1 << 20)) for _ in range(1024)) + packer.flush()
        zipped = self.path("big.pk3")
        build_zip(zipped, [{"name": "big.bin", "stored": packed, "method": 8, "crc": self.zeros_crc(size),
                            "size": size}])
        folder = self.path("Folder")
        os.makedirs(folder)
        with open(os.path.join(folder, "big.bin"), "wb") as f:
            f.truncate(size)
        for a, b in ((zipped, pak), (pak, zipped), (folder, pak), (zipped, folder)):
            with self.subTest(a=os.path.basename(a), b=os.path.basename(b)):
                result = self.limited("diff", a, b)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        with open(os.path.join(folder, "big.bin"), "r+b") as f:
            f.seek(size - 1)
            f.write(b"!")
        result = self.limited("diff", folder, zipped)
        self.assertEqual((result.returncode, result.stdout), (1, "~ big.bin\n"), result.stderr)

    def test_a_gigabyte_entry_is_tested_and_extracted_in_bounded_memory(self):
        stored = self.path("sparse.zip")
        self.sparse_stored_zip(stored, 1 << 30)
        result = self.limited("test", stored)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("no errors found in 1 file", result.stdout)
        # A gigabyte of zeros deflated into a megabyte: inflated in pieces, never whole.
        bomb = self.path("bomb.zip")
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = b"".join(packer.compress(bytes(1 << 20)) for _ in range(1024)) + packer.flush()
        build_zip(bomb, [{"name": "zeros.bin", "stored": packed, "method": 8, "crc": self.zeros_crc(1 << 30),
                          "size": 1 << 30}])
        result = self.limited("test", bomb)
        self.assertEqual(result.returncode, 0, result.stderr)
        out = self.path("out")
        result = self.limited("extract", stored, "-C", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.path.getsize(os.path.join(out, "big.bin")), 1 << 30)
        # Converted, inflated and compressed in streamed parts: stored, deflated anew, and
        # kept as it lies where compressing it again gains nothing.
        for source, target, level in ((stored, "stored.pk3", "1"), (bomb, "bomb.pak", "0"), (bomb, "bomb.pk3", "9")):
            with self.subTest(source=source, target=target):
                result = self.limited("convert", source, self.path(target), "--level", level)
                self.assertEqual(result.returncode, 0, result.stderr)
                if target.endswith(".pk3"):
                    check = subprocess.run(["unzip", "-tqq", self.path(target)], capture_output=True, text=True)
                    self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
                else:
                    self.assertEqual(os.path.getsize(self.path(target)), 12 + (1 << 30) + 64)


def main():
    global CLI
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    CLI = os.path.abspath(sys.argv[1])
    groups = sys.argv[2:]
    loader = unittest.TestLoader()
    module = sys.modules[__name__]
    if groups:
        suite = unittest.TestSuite(loader.loadTestsFromTestCase(getattr(module, "Test" + g)) for g in groups)
    else:
        suite = loader.loadTestsFromModule(module)
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
