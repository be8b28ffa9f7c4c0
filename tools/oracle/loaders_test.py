#!/usr/bin/env python3
"""Checks the loader comparison's own logic on made-up dumps: a file
compared with itself passes, a moved vertex, a reversed winding, another
material or a changed texel fails, and the triangles' order and rotation do
not matter.

    python3 tools/oracle/loaders_test.py
"""

import copy
import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import loaders  # noqa: E402

FVF = 0x002 | 0x010 | 0x100  # position, normal, one texture coordinate set


def mesh_data(corners, faces, attributes):
    raw = b"".join(struct.pack("<8f", *p, 0, 0, 1, *uv) for p, uv in corners)
    return {"fvf": FVF, "stride": 32, "vertexcount": len(corners),
            "facecount": len(faces), "vertices": raw.hex(),
            "indices": [i for f in faces for i in f],
            "attributes": attributes}


def material(red, texture=None):
    return {"diffuse": [red, 0, 0, 1], "ambient": [0, 0, 0, 0],
            "specular": [0, 0, 0, 1], "emissive": [0, 0, 0, 1],
            "power": 4.0, "texture": texture}


def dumps():
    corners = [((0, 0, 0), (0, 0)), ((1, 0, 0), (1, 0)), ((0, 1, 0), (0, 1)),
               ((1, 1, 0), (1, 1))]
    data = mesh_data(corners, [(0, 1, 2), (1, 3, 2)], [0, 1])
    oracle = {"kind": "mesh", "error": 0, "materials": [
        material(1.0, "a.bmp"), material(0.5)], "loaded": data,
        "optimized": copy.deepcopy(data), "clone": copy.deepcopy(data)}
    ours = copy.deepcopy(oracle)
    ours.update(logvertexcount=4, logfacecount=2)
    return oracle, ours


def states(rows):
    return {aspect: state for aspect, state, _ in rows}


class MeshComparison(unittest.TestCase):
    def test_itself_is_the_same(self):
        oracle, ours = dumps()
        self.assertEqual(loaders.verdict(oracle, ours, [], "m.x")[0], "same")

    def test_order_and_rotation_do_not_matter(self):
        oracle, ours = dumps()
        ours["loaded"]["indices"] = [3, 2, 1, 2, 0, 1]
        ours["loaded"]["attributes"] = [1, 0]
        self.assertEqual(loaders.verdict(oracle, ours, [], "m.x")[0], "same")

    def test_faults_are_found(self):
        cases = [
            ("moved vertex", lambda m: m["loaded"].update(vertices=(
                struct.pack("<8f", 0, 0, 0.01, 0, 0, 1, 0, 0).hex() +
                m["loaded"]["vertices"][64:])), ["vertices", "triangles"]),
            ("reversed winding", lambda m: m["loaded"].update(
                indices=[0, 2, 1, 1, 3, 2]), ["triangles"]),
            ("other material", lambda m: m["loaded"].update(
                attributes=[1, 1]), ["triangles"]),
            ("other texture", lambda m: m["materials"][0].update(
                texture="b.bmp"), ["materials", "triangles", "optimised"]),
            ("log count", lambda m: m.update(logvertexcount=3),
             ["log counts"]),
        ]
        for name, change, aspects in cases:
            with self.subTest(name):
                oracle, ours = dumps()
                change(ours)
                verdict, rows = loaders.verdict(oracle, ours, [], "m.x")
                self.assertEqual(verdict, "differs")
                for aspect in aspects:
                    self.assertEqual(states(rows)[aspect], "differs", aspect)

    def test_texture_names_as_windows_opens_them(self):
        self.assertTrue(loaders.same_material(
            material(1, "C:\\\\maps\\\\a.bmp"), material(1, "C:\\maps/a.bmp")))


class PictureComparison(unittest.TestCase):
    @staticmethod
    def picture(texels):
        level = {"width": 2, "height": 2, "format": 21,
                 "texels": bytes(texels).hex()}
        one = {"width": 1, "height": 1, "format": 21,
               "texels": bytes([sum(texels[k::4]) // 4 for k in range(4)]
                               ).hex()}
        return {"kind": "picture", "error": 0, "file": {
            "width": 2, "height": 2, "filetype": 3, "levels": 1},
            "source": level, "levels": [level, one]}

    def test_same_and_changed_texels(self):
        texels = [10, 20, 30, 255, 50, 60, 70, 255, 90, 100, 110, 255,
                  130, 140, 150, 255]
        oracle = self.picture(texels)
        self.assertEqual(loaders.verdict(oracle, self.picture(texels), [],
                                         "p.png")[0], "same")
        changed = list(texels)
        changed[0] += 1
        verdict, rows = loaders.verdict(oracle, self.picture(changed), [],
                                        "p.png")
        self.assertEqual((verdict, states(rows)["level 0"]),
                         ("differs", "differs"))

    def test_dxt1_block(self):
        # Pure red and blue ends; the four codes pick each colour in turn.
        block = struct.pack("<HHI", 0xF800, 0x001F, 0b11100100)
        level = {"width": 4, "height": 4, "format": 0x31545844,
                 "texels": block.hex()}
        self.assertEqual(loaders.texels_rgba(level)[:4], [
            (255, 0, 0, 255), (0, 0, 255, 255), (170, 0, 85, 255),
            (85, 0, 170, 255)])


if __name__ == "__main__":
    unittest.main()
