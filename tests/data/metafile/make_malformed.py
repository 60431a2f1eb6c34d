#!/usr/bin/env python3
"""Writes the damaged metafiles of malformed/ and bad-record/, one for each fault, named after it.

malformed/: damage to the header or to the record structure; each file is refused, quickly,
with the picture error. bad-record/: one record whose own fields do not agree; it is skipped
and the red square after it drawn over the top left quarter of the picture.
Run from anywhere: python3 tests/data/metafile/make_malformed.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def wmf_record(function, *words, tail=b""):
    params = struct.pack("<%dH" % len(words), *(w & 0xFFFF for w in words)) + tail
    if len(params) % 2:
        params += b"\0"
    return struct.pack("<IH", (6 + len(params)) // 2, function) + params


def wmf(records, objects=2, placeable=None):
    header = struct.pack("<HHHIHIH", 2, 9, 0x0300, 0, objects, 0, 0)
    body = header + b"".join(records) + struct.pack("<IH", 3, 0)
    if placeable is None:
        return body
    left, top, right, bottom, inch = placeable
    return struct.pack("<IHhhhhHIH", 0x9AC6CDD7, 0, left, top, right, bottom, inch, 0, 0) + body


RED_SQUARE_WMF = [
    wmf_record(0x020B, 0, 0),            # window origin
    wmf_record(0x020C, 100, 100),        # window extent
    wmf_record(0x02FC, 0, 0x00FF, 0, 0),  # red brush
    wmf_record(0x012D, 0),               # select it
    wmf_record(0x041B, 50, 50, 0, 0),    # rectangle
]


def emf_record(kind, *fields, tail=b""):
    body = struct.pack("<%di" % len(fields), *fields) + tail
    body += b"\0" * (-len(body) % 4)
    return struct.pack("<II", kind, 8 + len(body)) + body


def emf(records, handles=2, frame=(0, 0, 2645, 2645)):
    body = b"".join(records) + emf_record(14, 0, 16, 20)
    header = struct.pack("<II4i4iIIIIHHIIIiiii", 1, 88, 0, 0, 99, 99, *frame, 0x464D4520, 0x10000,
                         88 + len(body), 0, handles, 0, 0, 0, 0, 960, 960, 254, 254)
    return header + body


RED_SQUARE_EMF = [
    emf_record(39, 1, 0, 0x0000FF, 0),   # red brush at handle 1
    emf_record(37, 1),                   # select it
    emf_record(43, 0, 0, 50, 50),        # rectangle
]


def malformed():
    good_wmf = wmf(RED_SQUARE_WMF)
    good_emf = emf(RED_SQUARE_EMF)
    yield "wmf-cut-inside-a-record.wmf", good_wmf[:18 + 6 + 3]
    yield "wmf-record-size-zero.wmf", good_wmf[:18] + struct.pack("<IH", 0, 0x041B) + good_wmf[18:]
    yield "wmf-record-size-past-the-end.wmf", good_wmf[:18] + struct.pack("<IH", 0x40000000, 0x041B) + b"\0" * 8
    yield "wmf-placeable-zero-units-per-inch.wmf", wmf(RED_SQUARE_WMF, placeable=(0, 0, 100, 100, 0))
    yield "wmf-not-a-metafile.wmf", b"BM" + b"\0" * 60
    yield "emf-cut-inside-a-record.emf", good_emf[:88 + 10]
    yield "emf-record-size-zero.emf", emf([struct.pack("<II", 43, 0) + b"\0" * 16])
    yield "emf-bad-signature.emf", good_emf[:40] + b"XEMF" + good_emf[44:]
    yield "emf-frame-of-kilometres.emf", emf(RED_SQUARE_EMF, frame=(0, 0, 2000000000, 2000000000))


def bad_record():
    yield "wmf-polygon-count-beyond-its-record.wmf", wmf([wmf_record(0x0324, 20000, 1, 2)] + RED_SQUARE_WMF)
    yield "wmf-object-index-out-of-range.wmf", wmf([wmf_record(0x012D, 7)] + RED_SQUARE_WMF)
    # a table of one slot: the red brush takes it, the blue one finds none free
    yield "wmf-more-objects-than-its-table.wmf", wmf(
        RED_SQUARE_WMF[:3] + [wmf_record(0x02FC, 0, 0, 0x00FF, 0)] + RED_SQUARE_WMF[3:], objects=1)
    yield "wmf-text-longer-than-its-record.wmf", wmf([wmf_record(0x0521, 300, 0)] + RED_SQUARE_WMF)
    yield "emf-polygon-count-absurd.emf", emf([emf_record(3, 0, 0, 0, 0, -1, 0, 0)] + RED_SQUARE_EMF)
    yield "emf-polypolygon-counts-overflow.emf", emf(
        [emf_record(8, 0, 0, 0, 0, 2, 4, 0x7FFFFFFF, 0x7FFFFFFF)] + RED_SQUARE_EMF)
    yield "emf-create-beyond-its-handles.emf", emf([emf_record(39, 9, 0, 0, 0)] + RED_SQUARE_EMF)
    yield "emf-dib-offset-outside-its-record.emf", emf(
        [emf_record(81, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 0x7FFFFFF0, 16, 0, 0x00CC0020, 10, 10)] + RED_SQUARE_EMF)


def main():
    for folder, cases in (("malformed", malformed), ("bad-record", bad_record)):
        path = os.path.join(HERE, folder)
        os.makedirs(path, exist_ok=True)
        for name in os.listdir(path):
            os.remove(os.path.join(path, name))
        for name, data in cases():
            with open(os.path.join(path, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main()
