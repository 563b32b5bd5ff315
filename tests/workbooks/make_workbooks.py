#!/usr/bin/python3
"""Remakes the workbooks of the tests in this folder.

Needs LibreOffice Calc (Debian: libreoffice-calc-nogui) and python3-openpyxl; neither is needed
to run the tests, which read the files as committed. Run from anywhere:

    /usr/bin/python3 tests/workbooks/make_workbooks.py   (Debian's Python, which has openpyxl)

- builtin.xlsx, builtin.ods: the built-in data (tests/golden/input_data_default/T_input_data.csv)
  opened and saved by LibreOffice (soffice --headless --convert-to), as a user would save it.
  LibreOffice keeps text in shared strings.
- stored_kinds.xlsx: the built-in data written by openpyxl, the ways a workbook may store it: the
  threshold formatted as 5%, names in inline strings (as openpyxl writes them), counts as
  numbers, as 1810.0, as text, and as formulas with their computed values.
- greek.xlsx and greek.csv: Greek names, sheet name included (one in rich text runs with a phonetic reading, which is
  not part of the text) and the same data as a plain CSV file, written by openpyxl and by hand.
- kinds.xlsx (openpyxl) and kinds.ods (the same saved by LibreOffice): the built-in data with a
  date, a boolean, an error value and 10.5 among the counts of the second work.
- Hostile files, each refused with one message: legacy.xls (saved by LibreOffice as Excel 97),
  truncated.xlsx, corrupt.xlsx (a damaged deflate stream), bomb.xlsx (a sheet of 200 MiB of
  blanks packed with bzip2 into a few hundred bytes, its sizes in the archive's directory
  claiming 1,000 bytes), entities.xlsx (nested entities in a document type declaration),
  empty_first_sheet.xlsx (the data on the second sheet), huge.ods (a row of three cells repeated
  1,048,576 times) and not_a_workbook.zip.
- lying_sizes.xlsx: the built-in workbook with a comment of 20 MiB before the sheet's data, the
  sheet's sizes in the archive's directory claiming 1,000 bytes; many_attributes.xlsx: the same
  with a tag of 4 million attributes (20 MiB) there. Both are packed some 700 times, below the
  ratio of a zip bomb, into some 30 KB.
- notes_first.xlsx (openpyxl) and notes_first.ods (by hand): a first sheet of notes, two lines of
  text in column A, before the built-in data on the second sheet.
- long_string_value.ods (by hand): a cell whose string value, an attribute, holds 1.5 MiB of text.
- wrong_crc.xlsx: one criterion and two works, the sheet stored without compression and a count
  of 10 changed to 19 after the archive's CRC of the sheet was computed (openpyxl, then by hand).
"""

import bz2
import datetime
import os
import re
import shutil
import struct
import subprocess
import tempfile
import zipfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))
BUILT_IN = os.path.join(HERE, "..", "golden", "input_data_default", "T_input_data.csv")


def built_in_rows():
    with open(BUILT_IN, newline="") as f:
        lines = f.read().split("\r\n")
    return [line.split(",")[:-1] for line in lines if line]


def soffice_convert(source, extension, target, filter_name=None):
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, os.path.basename(target).rsplit(".", 1)[0] + "." +
                            source.rsplit(".", 1)[1])
        shutil.copyfile(source, copy)
        # Comma separated, double quotes, UTF-8, from line 1.
        convert = extension if filter_name is None else extension + ":" + filter_name
        subprocess.run(
            ["soffice", "--headless", "-env:UserInstallation=file://" + scratch + "/profile",
             "--infilter=CSV:44,34,76,1", "--convert-to", convert, "--outdir", scratch, copy],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.move(copy.rsplit(".", 1)[0] + "." + extension, target)


def rewrite_entries(path, change):
    """Rewrites the archive at `path`, passing each entry's name and bytes through `change`."""
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info.filename)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for info, data in entries:
            target.writestr(info.filename, change(info.filename, data))


def as_number(text):
    return int(text) if re.fullmatch(r"-?\d+", text) else text


def stored_kinds(path):
    rows = built_in_rows()
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Counts"
    for r, row in enumerate(rows, start=1):
        for c, text in enumerate(row, start=1):
            if text != "":
                sheet.cell(r, c, as_number(text))
    sheet["B1"] = 0.05
    sheet["B1"].number_format = "0%"
    sheet["C3"] = "=300+12"  # computed value written below
    sheet["D3"] = 1810.0
    sheet["E4"] = "80"  # a count stored as text
    sheet["F4"] = " 85"
    sheet["C5"] = "=SUM(10,20)"
    book.save(path)

    def change(name, data):
        if name == "xl/worksheets/sheet1.xml":
            text = data.decode()
            text = text.replace("<f>300+12</f><v></v>", "<f>300+12</f><v>312</v>")
            text = text.replace("<f>SUM(10,20)</f><v></v>", "<f>SUM(10,20)</f><v>30</v>")
            assert "<v></v>" not in text
            return text.encode()
        return data

    rewrite_entries(path, change)


GREEK_ROWS = [
    ["Threshold:", "0.05", "Dig", "Δίγαμμα", "Gen", "Γενική πληθυντικοῦ"],
    ["", "", "", "1", "", "-1"],
    ["Il", "Ἰλιάς", "312", "1810", "188", "224"],
    ["Od", "Ὀδύσσεια", "303", "1694", "130", "162"],
    ["Th", "Θεογονία", "30", "89", "24", "39"],
]


def greek(path, csv_path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Ἔπη"
    for r, row in enumerate(GREEK_ROWS, start=1):
        for c, text in enumerate(row, start=1):
            if text != "":
                sheet.cell(r, c, float(text) if text == "0.05" else as_number(text))
    book.save(path)

    def change(name, data):
        if name == "xl/worksheets/sheet1.xml":
            text = data.decode()
            rich = ("<is><r><t>Θεογ</t></r><r><rPr><b/></rPr><t>ονία</t></r>"
                    "<rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></is>")
            # openpyxl writes the Greek letters as character references.
            text, count = re.subn(r'(<c r="B5" t="inlineStr">)<is><t>[^<]*</t></is>',
                                  lambda m: m.group(1) + rich, text)
            assert count == 1
            return text.encode()
        return data

    rewrite_entries(path, change)
    with open(csv_path, "w", newline="", encoding="utf-8") as f:
        for row in GREEK_ROWS:
            f.write(",".join(row) + ",\r\n")


def kinds(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Kinds"
    for r, row in enumerate(built_in_rows(), start=1):
        for c, text in enumerate(row, start=1):
            if text != "":
                sheet.cell(r, c, as_number(text))
    sheet["C4"] = datetime.datetime(2024, 1, 5)
    sheet["D4"] = True
    sheet["E4"] = "#DIV/0!"
    sheet["F4"] = 10.5
    book.save(path)


def bomb(path, builtin_xlsx):
    blanks = 200 << 20
    packed = bz2.compress(b" " * blanks, 9)
    with zipfile.ZipFile(builtin_xlsx) as source, zipfile.ZipFile(path, "w") as z:
        for info in source.infolist():
            if info.filename != "xl/worksheets/sheet1.xml":
                z.writestr(info.filename, source.read(info.filename), zipfile.ZIP_DEFLATED)
    # The bombed part goes in by hand, after the others: its local header and its entry in the
    # central directory claim 1,000 bytes and the CRC of the real contents.
    with open(path, "rb") as f:
        archive = f.read()
    directory_start = struct.unpack("<I", archive[-6:-2])[0]
    head, directory = archive[:directory_start], archive[directory_start:-22]
    name = b"xl/worksheets/sheet1.xml"
    crc = zipfile.crc32(b" " * blanks)
    local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 46, 0, 12, 0, 0, crc, len(packed), 1000,
                        len(name), 0) + name
    central = struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 46, 46, 0, 12, 0, 0, crc, len(packed),
                          1000, len(name), 0, 0, 0, 0, 0, len(head)) + name
    body = head + local + packed
    directory += central
    entries = struct.unpack("<H", archive[-12:-10])[0] + 1
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, entries, entries, len(directory), len(body), 0)
    with open(path, "wb") as f:
        f.write(body + directory + end)


def entities(path, builtin_xlsx):
    laughs = ('<?xml version="1.0"?>\n<!DOCTYPE lolz [\n<!ENTITY lol "lol">\n' +
              "".join('<!ENTITY lol%d "%s">\n' % (i, ("&lol%d;" % (i - 1) if i > 1 else "&lol;") * 10)
                      for i in range(1, 10)) +
              ']>\n<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
              "<si><t>&lol9;</t></si></sst>")
    shutil.copyfile(builtin_xlsx, path)
    rewrite_entries(path, lambda name, data: laughs.encode() if name == "xl/sharedStrings.xml"
                    else data)


def corrupt(path, builtin_xlsx):
    with zipfile.ZipFile(builtin_xlsx) as z:
        info = z.getinfo("xl/worksheets/sheet1.xml")
    with open(builtin_xlsx, "rb") as f:
        data = bytearray(f.read())
    name_length, extra_length = struct.unpack("<HH", data[info.header_offset + 26:
                                                          info.header_offset + 30])
    start = info.header_offset + 30 + name_length + extra_length
    for offset in range(start + 20, start + 60):
        data[offset] ^= 0x5A
    with open(path, "wb") as f:
        f.write(bytes(data))


def empty_first_sheet(path):
    book = openpyxl.Workbook()
    book.active.title = "Notes"
    data = book.create_sheet("Data")
    for r, row in enumerate(built_in_rows(), start=1):
        for c, text in enumerate(row, start=1):
            if text != "":
                data.cell(r, c, as_number(text))
    book.save(path)


def before_sheet_data(path, builtin_xlsx, markup):
    """The built-in workbook with `markup` before the sheet's data."""
    shutil.copyfile(builtin_xlsx, path)
    sheet = "xl/worksheets/sheet1.xml"
    rewrite_entries(path, lambda name, data: data.replace(b"<sheetData>", markup + b"<sheetData>", 1)
                    if name == sheet else data)


def claim_size(path, entry, size):
    """Makes the local header and the central directory of `entry` claim `size` inflated bytes."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    name = entry.encode()
    for signature, name_at, size_at, header in ((b"PK\x03\x04", 26, 22, 30),
                                                (b"PK\x01\x02", 28, 24, 46)):
        at = data.find(signature)
        while at >= 0:
            length = struct.unpack("<H", data[at + name_at:at + name_at + 2])[0]
            if data[at + header:at + header + length] == name:
                struct.pack_into("<I", data, at + size_at, size)
            at = data.find(signature, at + 4)
    with open(path, "wb") as f:
        f.write(bytes(data))


def lying_sizes(path, builtin_xlsx):
    before_sheet_data(path, builtin_xlsx, b"<!--" + b"abcd " * (4 << 20) + b"-->")
    claim_size(path, "xl/worksheets/sheet1.xml", 1000)


def many_attributes(path, builtin_xlsx):
    before_sheet_data(path, builtin_xlsx, b"<x " + b'a="" ' * (4 << 20) + b"/>")


def wrong_crc(path):
    book = openpyxl.Workbook()
    book.properties.created = book.properties.modified = datetime.datetime(2024, 1, 5)
    sheet = book.active
    for row in (["Threshold:", 0.05, "k", "Crit"], [None, None, None, 1], ["w1", "One", 3, 10],
                ["w2", "Two", 4, 12]):
        sheet.append(row)
    book.save(path)
    with zipfile.ZipFile(path) as source:
        entries = [(info.filename, source.read(info.filename)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w") as target:
        for name, data in entries:
            stored = name == "xl/worksheets/sheet1.xml"
            target.writestr(name, data, zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED)
    with open(path, "rb") as f:
        whole = f.read()
    assert whole.count(b"<v>10</v>") == 1
    with open(path, "wb") as f:
        f.write(whole.replace(b"<v>10</v>", b"<v>19</v>"))
    with zipfile.ZipFile(path) as z:
        assert z.testzip() == "xl/worksheets/sheet1.xml"


NOTES = ["Counts of the Homeric corpus", "The data are on the next sheet"]


def notes_first_xlsx(path):
    book = openpyxl.Workbook()
    book.properties.created = book.properties.modified = datetime.datetime(2024, 1, 5)
    notes = book.active
    notes.title = "Notes"
    for line in NOTES:
        notes.append([line])
    data = book.create_sheet("Data")
    for row in built_in_rows():
        data.append([as_number(text) if text != "" else None for text in row])
    book.save(path)


def ods_table(name, rows):
    """A table of content.xml: numbers as floats, other texts as strings."""
    cells = []
    for row in rows:
        cells.append("<table:table-row>")
        for text in row:
            if text == "":
                cells.append("<table:table-cell/>")
            elif isinstance(as_number(text), int) or text == "0.05":
                cells.append('<table:table-cell office:value-type="float" office:value="%s">'
                             "<text:p>%s</text:p></table:table-cell>" % (text, text))
            else:
                cells.append('<table:table-cell office:value-type="string"><text:p>%s</text:p>'
                             "</table:table-cell>" % text)
        cells.append("</table:table-row>")
    return '<table:table table:name="%s">%s</table:table>' % (name, "".join(cells))


def write_ods(path, tables):
    """An .ods of the mimetype and a content.xml of `tables`, all a reader of cells needs."""
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">'
               "<office:body><office:spreadsheet>" + tables +
               "</office:spreadsheet></office:body></office:document-content>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr(zipfile.ZipInfo("content.xml", (2024, 1, 5, 0, 0, 0)), content,
                   zipfile.ZIP_DEFLATED)


def notes_first_ods(path):
    write_ods(path, ods_table("Notes", [[line] for line in NOTES]) +
              ods_table("Data", built_in_rows()))


def long_string_value(path):
    text = "abcd " * (300 << 10)
    write_ods(path, '<table:table table:name="Long"><table:table-row><table:table-cell '
              'office:value-type="string" office:string-value="%s"/></table:table-row>'
              "</table:table>" % text)


def huge(path):
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
               'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
               'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
               'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0">'
               "<office:body><office:spreadsheet><table:table table:name=\"Huge\">"
               '<table:table-row table:number-rows-repeated="1048576">'
               '<table:table-cell office:value-type="float" office:value="1" '
               'table:number-columns-repeated="3"><text:p>1</text:p></table:table-cell>'
               "</table:table-row></table:table></office:spreadsheet></office:body>"
               "</office:document-content>")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", content)


def main():
    builtin_xlsx = os.path.join(HERE, "builtin.xlsx")
    soffice_convert(BUILT_IN, "xlsx", builtin_xlsx)
    soffice_convert(BUILT_IN, "ods", os.path.join(HERE, "builtin.ods"))
    soffice_convert(BUILT_IN, "xls", os.path.join(HERE, "legacy.xls"), "MS Excel 97")
    stored_kinds(os.path.join(HERE, "stored_kinds.xlsx"))
    greek(os.path.join(HERE, "greek.xlsx"), os.path.join(HERE, "greek.csv"))
    kinds(os.path.join(HERE, "kinds.xlsx"))
    soffice_convert(os.path.join(HERE, "kinds.xlsx"), "ods", os.path.join(HERE, "kinds.ods"))
    with open(builtin_xlsx, "rb") as f:
        whole = f.read()
    with open(os.path.join(HERE, "truncated.xlsx"), "wb") as f:
        f.write(whole[:len(whole) // 2])
    corrupt(os.path.join(HERE, "corrupt.xlsx"), builtin_xlsx)
    bomb(os.path.join(HERE, "bomb.xlsx"), builtin_xlsx)
    entities(os.path.join(HERE, "entities.xlsx"), builtin_xlsx)
    empty_first_sheet(os.path.join(HERE, "empty_first_sheet.xlsx"))
    huge(os.path.join(HERE, "huge.ods"))
    wrong_crc(os.path.join(HERE, "wrong_crc.xlsx"))
    notes_first_xlsx(os.path.join(HERE, "notes_first.xlsx"))
    notes_first_ods(os.path.join(HERE, "notes_first.ods"))
    long_string_value(os.path.join(HERE, "long_string_value.ods"))
    lying_sizes(os.path.join(HERE, "lying_sizes.xlsx"), builtin_xlsx)
    many_attributes(os.path.join(HERE, "many_attributes.xlsx"), builtin_xlsx)
    with zipfile.ZipFile(os.path.join(HERE, "not_a_workbook.zip"), "w") as z:
        z.writestr("data.csv", "Threshold:,0.05,\r\n")
    fuzz_seeds(os.path.join(HERE, "..", "fuzz", "workbook_corpus"))


def fuzz_seeds(folder):
    """The seed corpus of tests/fuzz/workbook_fuzz.cpp: a first byte of 0 and a whole file; 1 and
    the XML of an .xlsx's workbook, shared strings, styles and sheet, split by NUL bytes; 2 and
    the content.xml of an .ods."""
    os.makedirs(folder, exist_ok=True)
    for name in ("builtin.xlsx", "builtin.ods", "kinds.xlsx", "truncated.xlsx", "entities.xlsx",
                 "huge.ods", "legacy.xls", "wrong_crc.xlsx", "lying_sizes.xlsx",
                 "many_attributes.xlsx", "notes_first.xlsx", "notes_first.ods"):
        with open(os.path.join(HERE, name), "rb") as f:
            whole = f.read()
        with open(os.path.join(folder, "file_" + name.replace(".", "_")), "wb") as f:
            f.write(b"\0" + whole)
        if name in ("builtin.xlsx", "kinds.xlsx", "entities.xlsx"):
            with zipfile.ZipFile(os.path.join(HERE, name)) as z:
                names = z.namelist()
                xml = [z.read(part) if part in names else b"" for part in
                       ("xl/workbook.xml", "xl/sharedStrings.xml", "xl/styles.xml",
                        "xl/worksheets/sheet1.xml")]
            # The fuzzer's own relationships name the sheet rId1.
            xml[0] = re.sub(rb'r:id="rId\d+"', b'r:id="rId1"', xml[0], count=1)
            with open(os.path.join(folder, "parts_" + name.replace(".", "_")), "wb") as f:
                f.write(b"\1" + b"\0".join(xml))
        if name.endswith(".ods"):
            with zipfile.ZipFile(os.path.join(HERE, name)) as z:
                content = z.read("content.xml")
            with open(os.path.join(folder, "content_" + name.replace(".", "_")), "wb") as f:
                f.write(b"\2" + content)


if __name__ == "__main__":
    main()
