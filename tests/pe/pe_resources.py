#!/usr/bin/env python3
"""Reads the facts check-exe.sh needs from a 32-bit Windows executable: header
fields, the resource directory, the version resource's strings and the
manifest. Standard library only, so that the check runs wherever the cross
build does.

    pe_resources.py header    EXE   machine, magic, subsystem, timestamp
    pe_resources.py resources EXE   one line per resource: type name language size
    pe_resources.py icons     EXE   each icon group and the icon ids it names
    pe_resources.py version   EXE   the version resource's strings, Key=Value
    pe_resources.py manifest  EXE [ID]   the manifest's text (default id 1)
    pe_resources.py manifest-facts EXE   what Windows reads from manifest 1
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
            6: "RT_STRING", 9: "RT_ACCELERATOR", 10: "RT_RCDATA", 12: "RT_GROUP_CURSOR",
            14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PeError(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        (pe,) = self.unpack("<I", 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = self.unpack("<HHIIIHH", pe + 4)
        optional = pe + 24
        (self.magic,) = self.unpack("<H", optional)
        if self.magic != 0x10B:
            raise PeError("not a PE32 image (optional header magic 0x%x)" % self.magic)
        (self.subsystem,) = self.unpack("<H", optional + 68)
        (directories,) = self.unpack("<I", optional + 92)
        self.directories = [self.unpack("<II", optional + 96 + 8 * i) for i in range(min(directories, 16))]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), rva,
                                  max(virtual_size, raw_size), raw_size, raw_offset))

    def unpack(self, fmt, offset):
        if offset < 0 or offset + struct.calcsize(fmt) > len(self.data):
            raise PeError("offset 0x%x lies outside the file" % offset)
        return struct.unpack_from(fmt, self.data, offset)

    def offset_of(self, rva):
        for _, start, size, raw_size, raw_offset in self.sections:
            if start <= rva < start + size:
                if rva - start >= raw_size:
                    raise PeError("RVA 0x%x has no bytes in the file" % rva)
                return raw_offset + rva - start
        raise PeError("RVA 0x%x lies in no section" % rva)

    def bytes_at(self, rva, size):
        offset = self.offset_of(rva)
        if offset + size > len(self.data):
            raise PeError("data at RVA 0x%x runs past the end of the file" % rva)
        return self.data[offset:offset + size]

    def resources(self):
        """(type, name, language, bytes) for every leaf; ids stay ints, names
        become upper-case strings, as Windows compares them."""
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if rva == 0 or size == 0:
            return []
        base = self.offset_of(rva)
        found = []

        def entry_name(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                (length,) = self.unpack("<H", at)
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
            return value

        def walk(offset, path, depth):
            if depth > 3:
                raise PeError("resource directory nested too deep")
            named, ids = self.unpack("<HH", base + offset + 12)
            for i in range(named + ids):
                value, target = self.unpack("<II", base + offset + 16 + 8 * i)
                here = path + [entry_name(value)]
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, here, depth + 1)
                else:
                    data_rva, data_size, _, _ = self.unpack("<IIII", base + target)
                    while len(here) < 3:
                        here.append(None)
                    found.append((here[0], here[1], here[2], self.bytes_at(data_rva, data_size)))

        walk(0, [], 1)
        return found


def type_text(value):
    return RT_NAMES.get(value, str(value)) if isinstance(value, int) else '"%s"' % value


def name_text(value):
    return str(value) if isinstance(value, int) else '"%s"' % value


def version_strings(blob):
    """The Key=Value pairs of every StringTable, and the fixed file version."""
    pairs = []

    def block(offset, end, depth):
        length, value_length, value_type = struct.unpack_from("<HHH", blob, offset)
        if length < 6 or offset + length > end:
            raise PeError("version block at %d has a bad length" % offset)
        stop = offset + length
        key_end = offset + 6
        while key_end + 1 < stop and blob[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = blob[offset + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        if depth == 3:
            # A String: read its text up to its zero; resource compilers
            # disagree on whether its length counts bytes or characters.
            pairs.append((key, blob[value_at:stop].decode("utf-16-le", "replace").split("\0", 1)[0]))
            return stop
        if depth == 0 and value_length >= 52:
            fixed = struct.unpack_from("<13I", blob, value_at)
            if fixed[0] != 0xFEEF04BD:
                raise PeError("VS_FIXEDFILEINFO signature missing")
            pairs.append(("(fixed FileVersion)", "%d.%d.%d.%d" % (
                fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16, fixed[3] & 0xFFFF)))
        value_bytes = value_length * (2 if value_type == 1 else 1)
        children_at = (value_at + value_bytes + 3) & ~3
        if depth == 1 and key != "StringFileInfo":
            return stop  # VarFileInfo: no strings below it
        child = children_at
        while child + 6 <= stop:
            child = (block(child, stop, depth + 1) + 3) & ~3
        return stop

    block(0, len(blob), 0)
    return pairs


def local(tag):
    return tag.rsplit("}", 1)[-1]


def manifest_facts(text):
    """Windows refuses to start a program whose manifest is not well-formed
    XML, so a parse error is reported as such."""
    try:
        root = ElementTree.fromstring(text.encode("utf-8"))
    except ElementTree.ParseError as error:
        return [("well_formed", "no (%s)" % error)]
    facts = [("well_formed", "yes")]
    levels = [e.get("level", "") for e in root.iter() if local(e.tag) == "requestedExecutionLevel"]
    facts.append(("execution_level", ",".join(levels) or "-"))
    controls = []
    for dependent in root.iter():
        if local(dependent.tag) != "dependentAssembly":
            continue
        for identity in dependent:
            if local(identity.tag) == "assemblyIdentity" and \
                    identity.get("name", "").lower() == "microsoft.windows.common-controls":
                controls.append(identity.get("version", "?"))
    facts.append(("common_controls", ",".join(controls) or "-"))
    facts.append(("supported_os", str(sum(1 for e in root.iter() if local(e.tag) == "supportedOS"))))
    aware = [(e.text or "").strip() for e in root.iter() if local(e.tag) == "dpiAware"]
    facts.append(("dpi_aware", ",".join(aware) or "-"))
    return facts


def main(argv):
    if len(argv) < 3 or argv[1] not in ("header", "resources", "icons", "version", "manifest",
                                            "manifest-facts"):
        sys.stderr.write(__doc__)
        return 2
    command, path = argv[1], argv[2]
    try:
        with open(path, "rb") as f:
            image = Image(f.read())
        if command == "header":
            print("machine=0x%x" % image.machine)
            print("magic=0x%x" % image.magic)
            print("subsystem=%d" % image.subsystem)
            print("timestamp=%d" % image.timestamp)
            return 0
        leaves = image.resources()
        if command == "resources":
            for kind, name, language, blob in leaves:
                print("%s %s %s %d" % (type_text(kind), name_text(name), language, len(blob)))
        elif command == "icons":
            icons = {name for kind, name, _, _ in leaves if kind == RT_ICON}
            for kind, name, _, blob in leaves:
                if kind != RT_GROUP_ICON:
                    continue
                _, _, count = struct.unpack_from("<HHH", blob, 0)
                ids = [struct.unpack_from("<H", blob, 6 + 14 * i + 12)[0] for i in range(count)]
                missing = [i for i in ids if i not in icons]
                print("%s icons=%s missing=%s" % (name_text(name), ",".join(map(str, ids)) or "-",
                                                   ",".join(map(str, missing)) or "-"))
        elif command == "version":
            for kind, _, _, blob in leaves:
                if kind == RT_VERSION:
                    for key, value in version_strings(blob):
                        print("%s=%s" % (key, value))
        elif command in ("manifest", "manifest-facts"):
            wanted = int(argv[3]) if len(argv) > 3 else 1
            for kind, name, _, blob in leaves:
                if kind == RT_MANIFEST and name == wanted:
                    text = blob.decode("utf-8-sig")
                    if command == "manifest":
                        sys.stdout.write(text)
                    else:
                        for key, value in manifest_facts(text):
                            print("%s=%s" % (key, value))
                    return 0
            sys.stderr.write("%s: no RT_MANIFEST resource %d\n" % (path, wanted))
            return 1
        return 0
    except (PeError, struct.error, UnicodeDecodeError, IndexError) as error:
        sys.stderr.write("%s: %s\n" % (path, error))
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
