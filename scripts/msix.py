#!/usr/bin/env python3
"""Quillo.msix, the package with an external location, made and checked here.

  msix.py pack TEMPLATE SIGNER_PEM VERSION OUT.msix [ARCH]
      The manifest from TEMPLATE with the publisher taken from the signing certificate and the
      processor architecture (x64 or arm64, x64 when not given), the block map of its 64 KiB
      blocks and the content types, zipped (unsigned: sign.sh signs).
  msix.py family SIGNER_PEM
      Prints the package family name Windows derives from the name and the publisher.
  msix.py nsis SIGNER_PEM OUT.nsh
      The same, with the package's name, as defines for the setup program.
  msix.py logo OUT.png
      The package's logo, a small picture the setup program installs beside the DLL.
  msix.py check PACKAGE.msix SIGNER_PEM VERSION [ARCH]
      Checks a made package: what the manifest must hold, the publisher, the block map's hashes
      against the files, how each part is stored, and that a signature is there.
"""
import base64
import hashlib
import io
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zipfile
import zlib

NAME = "Quillo.ContextMenu"
COMMAND_CLSID = "D2390739-D35F-4362-88C0-4A097438FC69"
BLOCK = 65536
BLOCKMAP_NS = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256_METHOD = "http://www.w3.org/2001/04/xmlenc#sha256"
# One package per architecture of Windows 11, under one identity name and publisher.
ARCHITECTURES = ("x64", "arm64")
TYPES_NS = "http://schemas.openxmlformats.org/package/2006/content-types"
MANIFEST_TYPE = "application/vnd.ms-appx.manifest+xml"
BLOCKMAP_TYPE = "application/vnd.ms-appx.blockmap+xml"

# Attribute names as Windows writes a certificate's subject; OpenSSL's others stay as they are.
WINDOWS_NAMES = {"ST": "S", "emailAddress": "E", "1.2.840.113549.1.9.1": "E"}


def split_rfc2253(text):
    """The RDNs of an RFC 2253 name (most specific first), unescaped: [(name, value)]."""
    parts, current, escaped = [], "", False
    for ch in text:
        if escaped:
            current += ch
            escaped = False
        elif ch == "\\":
            current += ch
            escaped = True
        elif ch == ",":
            parts.append(current)
            current = ""
        else:
            current += ch
    parts.append(current)
    rdns = []
    for part in parts:
        name, _, value = part.partition("=")
        value = re.sub(r"\\(.)", r"\1", value)
        rdns.append((name.strip(), value))
    return rdns


def publisher(signer_pem):
    """The certificate's subject as Windows spells it, which the manifest's Publisher must equal:
    most specific attribute first, ", " between, a value quoted where it holds a separator."""
    out = subprocess.run(
        ["openssl", "x509", "-in", signer_pem, "-noout", "-subject", "-nameopt",
         "RFC2253,-esc_msb,utf8"], check=True, capture_output=True, text=True).stdout.strip()
    return spell_subject(out.split("=", 1)[1] if out.startswith("subject=") else out)


def spell_subject(rfc2253):
    spelled = []
    for name, value in split_rfc2253(rfc2253):
        if any(c in value for c in ',+="<>#;\n') or value != value.strip():
            value = '"' + value.replace('"', '""') + '"'
        spelled.append(WINDOWS_NAMES.get(name, name) + "=" + value)
    return ", ".join(spelled)


def publisher_id(publisher_name):
    """The 13 characters Windows derives from a publisher: the first 8 bytes of the SHA-256 of
    its UTF-16LE text, 5 bits a character (the last padded) in Crockford's lower-case alphabet."""
    digest = hashlib.sha256(publisher_name.encode("utf-16-le")).digest()[:8]
    bits = int.from_bytes(digest, "big") << 1  # 64 bits padded to 65
    alphabet = "0123456789abcdefghjkmnpqrstvwxyz"
    return "".join(alphabet[(bits >> (60 - 5 * i)) & 31] for i in range(13))


def family(signer_pem):
    return NAME + "_" + publisher_id(publisher(signer_pem))


def manifest_text(template, signer_pem, version, arch):
    with open(template, encoding="utf-8") as f:
        text = f.read()
    if not re.fullmatch(r"\d+\.\d+\.\d+\.\d+", version):
        raise SystemExit("msix: the version must have four parts: " + version)
    if arch not in ARCHITECTURES:
        raise SystemExit("msix: no package for the architecture " + arch)
    pub = publisher(signer_pem)
    xml_pub = pub.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
    for key, value in (("@NAME@", NAME), ("@PUBLISHER@", xml_pub), ("@VERSION@", version),
                       ("@COMMAND_CLSID@", COMMAND_CLSID), ("@ARCH@", arch)):
        text = text.replace(key, value)
    if "@" in re.sub(r"<!--.*?-->", "", text, flags=re.S):
        raise SystemExit("msix: a placeholder of the template is left unfilled")
    return text.encode("utf-8")


def local_header_size(zip_bytes, offset):
    """The size of the local file header at offset: 30 bytes, the name and the extra field."""
    signature, = struct.unpack_from("<I", zip_bytes, offset)
    if signature != 0x04034B50:
        raise SystemExit("msix: no local file header at %d" % offset)
    name_length, extra_length = struct.unpack_from("<HH", zip_bytes, offset + 26)
    return 30 + name_length + extra_length


def block_hashes(data):
    return [base64.b64encode(hashlib.sha256(data[i:i + BLOCK]).digest()).decode("ascii")
            for i in range(0, max(len(data), 1), BLOCK)] if data else []


def pack(template, signer_pem, version, out_path, arch="x64"):
    manifest = manifest_text(template, signer_pem, version, arch)
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        # The payload is stored: a stored file's blocks need no compressed size in the map.
        info = zipfile.ZipInfo("AppxManifest.xml", date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_STORED
        z.writestr(info, manifest)
        z.fp.flush()
        lfh = local_header_size(buffer.getvalue(), info.header_offset)
        blocks = "".join('<Block Hash="%s"/>' % h for h in block_hashes(manifest))
        blockmap = ('<?xml version="1.0" encoding="UTF-8"?>\r\n'
                    '<BlockMap xmlns="%s" HashMethod="%s">'
                    '<File Name="AppxManifest.xml" Size="%d" LfhSize="%d">%s</File>'
                    '</BlockMap>' % (BLOCKMAP_NS, SHA256_METHOD, len(manifest), lfh, blocks))
        info = zipfile.ZipInfo("AppxBlockMap.xml", date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, blockmap.encode("utf-8"))
        types = ('<?xml version="1.0" encoding="UTF-8"?>\r\n'
                 '<Types xmlns="%s">'
                 '<Default Extension="xml" ContentType="application/xml"/>'
                 '<Override PartName="/AppxManifest.xml" ContentType="%s"/>'
                 '<Override PartName="/AppxBlockMap.xml" ContentType="%s"/>'
                 '</Types>' % (TYPES_NS, MANIFEST_TYPE, BLOCKMAP_TYPE))
        # Deflated: the signer rewrites this part compressed, and a part marked stored would
        # then no longer read back.
        info = zipfile.ZipInfo("[Content_Types].xml", date_time=(2026, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, types.encode("utf-8"))
    with open(out_path, "wb") as f:
        f.write(buffer.getvalue())


def logo(out_path, size=150):
    """A square of Quillo's blue with a white sheet of paper on it, as an RGBA PNG."""
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            inside_sheet = size * 0.28 <= x < size * 0.72 and size * 0.18 <= y < size * 0.82
            line = inside_sheet and x < size * 0.64 and int(y - size * 0.3) % 14 < 3 \
                and y < size * 0.72
            if line:
                row += bytes((0x2B, 0x5C, 0xB8, 0xFF))
            elif inside_sheet:
                row += bytes((0xFF, 0xFF, 0xFF, 0xFF))
            else:
                row += bytes((0x2B, 0x5C, 0xB8, 0xFF))
        rows.append(bytes(row))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
    with open(out_path, "wb") as f:
        f.write(png)


def check(package, signer_pem, version, arch="x64"):
    """Every fault found, as text; an empty list when the package is sound."""
    faults = []
    # The spelling of a subject and the family's publisher part, on known answers.
    for found, wanted in (
            (spell_subject(r"CN=Quillo Test,O=Quillo,C=KR"), "CN=Quillo Test, O=Quillo, C=KR"),
            (spell_subject(r"CN=Kim\, Lee,ST=Seoul,C=KR"), 'CN="Kim, Lee", S=Seoul, C=KR'),
            (publisher_id("CN=Microsoft Corporation, O=Microsoft Corporation, L=Redmond, "
                          "S=Washington, C=US"), "8wekyb3d8bbwe")):
        if found != wanted:
            faults.append("spelled %r, wanted %r" % (found, wanted))
    with open(package, "rb") as f:
        raw = f.read()
    z = zipfile.ZipFile(io.BytesIO(raw))
    infos = {i.filename: i for i in z.infolist()}
    for name in ("AppxManifest.xml", "AppxBlockMap.xml", "[Content_Types].xml",
                 "AppxSignature.p7x"):
        if name not in infos:
            faults.append("missing " + name)
    if faults:
        return faults
    if infos["[Content_Types].xml"].compress_type != zipfile.ZIP_DEFLATED:
        faults.append("[Content_Types].xml is not deflated")
    if z.testzip() is not None:
        faults.append("a part does not read back: " + z.testzip())

    # The block map: each listed file's size, local header and 64 KiB blocks. Its hashes are
    # recomputed here, not with the packer's helper, so that a packer hashing with the wrong
    # algorithm cannot vouch for itself; the packer's helper must give a known answer too.
    if block_hashes(b"abc") != ["ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0="]:
        faults.append("the packer's block hash of 'abc' is not its SHA-256")
    blockmap = ET.fromstring(z.read("AppxBlockMap.xml"))
    ns = {"b": BLOCKMAP_NS}
    if blockmap.tag != "{%s}BlockMap" % BLOCKMAP_NS:
        faults.append("block map root: " + blockmap.tag)
    if blockmap.get("HashMethod") != "http://www.w3.org/2001/04/xmlenc#sha256":
        faults.append("block map hash method: %s" % blockmap.get("HashMethod"))
    listed = set()
    for entry in blockmap.findall("b:File", ns):
        name = entry.get("Name")
        listed.add(name)
        if name not in infos:
            faults.append("block map names a missing file: %s" % name)
            continue
        data = z.read(name)
        if int(entry.get("Size", -1)) != len(data):
            faults.append("%s: size %s, file %d" % (name, entry.get("Size"), len(data)))
        lfh = local_header_size(raw, infos[name].header_offset)
        if int(entry.get("LfhSize", -1)) != lfh:
            faults.append("%s: local header %s, file %d" % (name, entry.get("LfhSize"), lfh))
        hashes = [b.get("Hash") for b in entry.findall("b:Block", ns)]
        sha256 = [base64.b64encode(hashlib.sha256(data[i:i + 65536]).digest()).decode("ascii")
                  for i in range(0, len(data), 65536)]
        if hashes != sha256:
            faults.append("%s: block hashes are not the SHA-256 of its 64 KiB blocks" % name)
    footprint = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
    for name in infos:
        if name not in footprint and name not in listed:
            faults.append("not in the block map: " + name)

    # The manifest.
    m = ET.fromstring(z.read("AppxManifest.xml"))
    ns = {"f": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
          "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
          "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
          "rescap": "http://schemas.microsoft.com/appx/manifest/foundation/windows10/"
                    "restrictedcapabilities",
          "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
          "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
          "com": "http://schemas.microsoft.com/appx/manifest/com/windows10"}
    q = lambda prefix, name: "{%s}%s" % (ns[prefix], name)

    def expect(what, found, wanted):
        if found != wanted:
            faults.append("%s: %r, wanted %r" % (what, found, wanted))

    identity = m.find("f:Identity", ns)
    expect("Identity/@Publisher", identity.get("Publisher"), publisher(signer_pem))
    expect("Identity/@Version", identity.get("Version"), version)
    expect("Identity/@Name", identity.get("Name"), NAME)
    expect("Identity/@ProcessorArchitecture", identity.get("ProcessorArchitecture"), arch)
    expect("AllowExternalContent",
           m.findtext("f:Properties/uap10:AllowExternalContent", None, ns), "true")
    expect("capabilities",
           sorted(c.get("Name") for c in m.findall("f:Capabilities/rescap:Capability", ns)),
           ["runFullTrust", "unvirtualizedResources"])
    families = m.findall("f:Dependencies/f:TargetDeviceFamily", ns)
    expect("target device families",
           [(d.get("Name"), d.get("MinVersion")) for d in families],
           [("Windows.Desktop", "10.0.22000.0")])
    apps = m.findall("f:Applications/f:Application", ns)
    expect("applications", len(apps), 1)
    if apps:
        app = apps[0]
        expect("Executable", app.get("Executable"), "QuilloNote.exe")
        expect("TrustLevel", app.get(q("uap10", "TrustLevel")), "mediumIL")
        expect("RuntimeBehavior", app.get(q("uap10", "RuntimeBehavior")), "win32App")
        expect("AppListEntry", app.find("uap:VisualElements", ns).get("AppListEntry"), "none")
        verbs = [(t.get("Type"), v.get("Clsid")) for t in app.findall(
            "f:Extensions/desktop4:Extension/desktop4:FileExplorerContextMenus/desktop5:ItemType",
            ns) for v in t.findall("desktop5:Verb", ns)]
        expect("context menu verbs", verbs, [("Directory\\Background", COMMAND_CLSID)])
        classes = [(c.get("Id"), c.get("Path"), c.get("ThreadingModel")) for c in app.findall(
            "f:Extensions/com:Extension/com:ComServer/com:SurrogateServer/com:Class", ns)]
        expect("COM classes", classes, [(COMMAND_CLSID, "Quillo.dll", "STA")])
    return faults


def main(argv):
    if len(argv) in (5, 6) and argv[0] == "pack":
        pack(*argv[1:])
    elif len(argv) == 2 and argv[0] == "family":
        print(family(argv[1]))
    elif len(argv) == 3 and argv[0] == "nsis":
        with open(argv[2], "w", encoding="utf-8") as f:
            f.write('!define PACKAGE_NAME "%s"\n!define PACKAGE_FAMILY "%s"\n'
                    % (NAME, family(argv[1])))
    elif len(argv) == 2 and argv[0] == "logo":
        logo(argv[1])
    elif len(argv) in (4, 5) and argv[0] == "check":
        faults = check(*argv[1:])
        for fault in faults:
            print("msix: " + fault)
        if faults:
            return 1
        print("msix: %s holds what it must; its block map matches" % argv[1])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
