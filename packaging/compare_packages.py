#!/usr/bin/env python3
"""Compares two folders of packages file by file, byte for byte, and for each file that differs
says where: the first member of a .deb, .zip or tar archive whose bytes or attributes differ.
Exit status: 0 when both folders hold the same files with the same bytes, 1 otherwise, 2 for bad
arguments."""
import hashlib
import io
import os
import sys
import tarfile
import zipfile


def ar_members(data):
    """The members of a Unix ar archive (a .deb), as (name, header, bytes), in order."""
    if not data.startswith(b"!<arch>\n"):
        raise ValueError("not an ar archive")
    at, members = 8, []
    while at + 60 <= len(data):
        header = data[at:at + 60]
        name = header[:16].decode().strip().rstrip("/")
        size = int(header[48:58].decode().strip())
        members.append((name, header[16:58], data[at + 60:at + 60 + size]))
        at += 60 + size + (size & 1)
    return members


def tar_members(data):
    with tarfile.open(fileobj=io.BytesIO(data)) as archive:
        for info in archive.getmembers():
            body = archive.extractfile(info).read() if info.isfile() else b""
            yield info.name, (info.mode, info.uid, info.gid, info.uname, info.gname, info.mtime,
                              info.type, info.linkname), body


def zip_members(data):
    with zipfile.ZipFile(io.BytesIO(data)) as archive:
        for info in archive.infolist():
            yield info.filename, (info.date_time, info.external_attr, info.extra, info.compress_type,
                                  info.create_system), archive.read(info)


def members_of(name, data):
    """The archive's members, or None when the file is no archive this knows."""
    if name.endswith(".deb"):
        return [(m, h, b) for m, h, b in ar_members(data)]
    if name.endswith(".zip"):
        return list(zip_members(data))
    if ".tar" in name:
        return list(tar_members(data))
    return None


def first_difference(name, a, b):
    """Where two differing files first differ, as a phrase."""
    try:
        left, right = members_of(name, a), members_of(name, b)
    except (ValueError, tarfile.TarError, zipfile.BadZipFile) as error:
        return f"(cannot open as an archive: {error})"
    if left is None or right is None:
        at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
        return f"first at byte {at} (sizes {len(a)} and {len(b)})"
    for (lname, lhead, lbody), (rname, rhead, rbody) in zip(left, right):
        if lname != rname:
            return f"member order: {lname} against {rname}"
        if lbody != rbody:
            inner = first_difference(lname, lbody, rbody)
            return f"member {lname}: its bytes, {inner}"
        if lhead != rhead:
            return f"member {lname}: its header ({lhead} against {rhead})"
    if len(left) != len(right):
        return f"{len(left)} members against {len(right)}"
    return "the archives' own framing (compression or padding); every member is the same"


def main(argv):
    if len(argv) != 3 or not all(os.path.isdir(d) for d in argv[1:]):
        print("usage: compare_packages.py FOLDER FOLDER", file=sys.stderr)
        return 2
    left, right = argv[1], argv[2]
    names = sorted(set(os.listdir(left)) | set(os.listdir(right)))
    same = True
    for name in names:
        paths = [os.path.join(left, name), os.path.join(right, name)]
        if not all(os.path.isfile(p) for p in paths):
            print(f"DIFFERS: {name}: only in {left if os.path.isfile(paths[0]) else right}")
            same = False
            continue
        a, b = (open(p, "rb").read() for p in paths)
        if a == b:
            print(f"same: {name} sha256 {hashlib.sha256(a).hexdigest()}")
        else:
            print(f"DIFFERS: {name}: {first_difference(name, a, b)}")
            same = False
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
