"""Fuzzer seeds from the URDF files of example-robot-data, cut down to what the loader reads.

Meshes, materials, transmissions and simulator blocks are dropped, and a large robot is cut to
the subtree around its root that fits a few kilobytes, so that each execution stays cheap and the
fuzzer spends its mutations on links, joints and inertials.

usage: seeds_from_robots.py OUTPUT_DIR
"""

import hashlib
import pathlib
import sys
import sysconfig
import xml.etree.ElementTree as ET

KEPT = {"link": {"inertial"}, "joint": {"origin", "parent", "child", "axis", "limit"}}
LARGEST = 4096


def robots_dir():
    # the package installs data files only, under the interpreter's site-packages
    found = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
    if not found.is_dir():
        sys.exit(f"example-robot-data robots not found at {found}")
    return found


def reduced(path):
    root = ET.parse(path).getroot()
    for element in list(root):
        if element.tag not in KEPT:
            root.remove(element)
            continue
        for child in list(element):
            if child.tag not in KEPT[element.tag]:
                element.remove(child)
    ET.indent(root, space="")
    text = ET.tostring(root, encoding="unicode").encode()
    return text if len(text) <= LARGEST else near_the_root(root)


def near_the_root(root):
    """The root link and, breadth first, each joint with its child while the text stays small."""
    links = {link.get("name"): link for link in root.iter("link")}
    joints = list(root.iter("joint"))
    children = {j.find("child").get("link") for j in joints if j.find("child") is not None}
    start = next((name for name in links if name not in children), None)
    kept = ET.Element("robot", root.attrib)
    if start is None:
        return ET.tostring(kept)
    kept.append(links[start])
    queue = [start]
    for parent in queue:
        for j in joints:
            p, c = j.find("parent"), j.find("child")
            if p is None or c is None or p.get("link") != parent or c.get("link") not in links:
                continue
            kept.extend([links[c.get("link")], j])
            if len(ET.tostring(kept)) > LARGEST:
                del kept[-2:]
                return ET.tostring(kept)
            queue.append(c.get("link"))
    return ET.tostring(kept)


def main():
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    written = 0
    for path in sorted(robots_dir().rglob("*.urdf")):
        try:
            text = reduced(path)
        except ET.ParseError:
            continue  # libFuzzer finds malformed text by itself
        (out / hashlib.sha1(text).hexdigest()).write_bytes(text)
        written += 1
    print(f"{written} seeds in {out}")


if __name__ == "__main__":
    main()
