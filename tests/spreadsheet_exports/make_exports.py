#!/usr/bin/python3
"""Saves the built-in data as LibreOffice Calc saves CSV files in English, German and French
locales, into this folder: <locale>_<numbers>_<separator>.csv.

The plain input-data file (tests/golden/input_data_default/T_input_data.csv) is opened in Calc,
its numbers formatted as a user of that locale would format them, and saved as CSV with the
separator given and "save cell contents as shown":
  plain      counts and threshold in the locale's standard number format (0,05 in German);
  percent    the threshold formatted as a percentage with two decimals (5.00%, 5,00 %);
  thousands  counts with thousands separators (1,810, 1.810, 1 810) and the percentage.
Separators: comma, semicolon, tab; UTF-8 text, quotes where a field holds the separator.

Needs LibreOffice Calc and its Python bridge (Debian: libreoffice-calc-nogui python3-uno); the
tests only read the files it wrote, which are kept in the repository.
Usage: tests/spreadsheet_exports/make_exports.py
"""

import os
import shutil
import subprocess
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.lang import Locale

HERE = os.path.dirname(os.path.abspath(__file__))
PLAIN = os.path.join(HERE, "..", "golden", "input_data_default", "T_input_data.csv")
CSV_FILTER = "Text - txt - csv (StarCalc)"
LOCALES = {"en": ("en", "US", 1033), "de": ("de", "DE", 1031), "fr": ("fr", "FR", 1036)}
SEPARATORS = {"comma": 44, "semicolon": 59, "tab": 9}
VARIANTS = ("plain", "percent", "thousands")


def properties(**values):
    result = []
    for name, value in values.items():
        prop = PropertyValue()
        prop.Name, prop.Value = name, value
        result.append(prop)
    return tuple(result)


def connect(profile, pipe):
    office = subprocess.Popen(
        ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
         "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
         "--accept=pipe,name=%s;urp;" % pipe])
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(120):
        try:
            context = resolver.resolve(
                "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            desktop = context.ServiceManager.createInstanceWithContext(
                "com.sun.star.frame.Desktop", context)
            return office, desktop
        except Exception:  # the office is still starting
            time.sleep(0.5)
    office.kill()
    raise SystemExit("LibreOffice did not start")


def format_sheet(document, locale, variant):
    language, country, _ = LOCALES[locale]
    where = Locale(language, country, "")
    formats = document.getNumberFormats()
    sheet = document.getSheets().getByIndex(0)
    cursor = sheet.createCursor()
    cursor.gotoEndOfUsedArea(False)
    last_row = cursor.getRangeAddress().EndRow
    last_column = cursor.getRangeAddress().EndColumn
    def index(name):
        return uno.getConstantByName("com.sun.star.i18n.NumberFormatIndex." + name)

    counts = index("NUMBER_1000INT" if variant == "thousands" else "NUMBER_INT")
    threshold = index("NUMBER_STANDARD" if variant == "plain" else "PERCENT_DEC2")
    for row in range(0, last_row + 1):
        for column in range(1, last_column + 1):
            cell = sheet.getCellByPosition(column, row)
            if cell.getType().value != "VALUE":
                continue
            chosen = counts if row >= 2 else index("NUMBER_INT")
            if row == 0:
                chosen = threshold
            cell.NumberFormat = formats.getFormatIndex(chosen, where)


def main():
    profile = tempfile.mkdtemp(prefix="brevox-lo-")
    office, desktop = connect(profile, "brevox_exports_%d" % os.getpid())
    try:
        for locale, (_, _, language) in LOCALES.items():
            for variant in VARIANTS:
                document = desktop.loadComponentFromURL(
                    uno.systemPathToFileUrl(os.path.abspath(PLAIN)), "_blank", 0,
                    properties(Hidden=True, FilterName=CSV_FILTER,
                               FilterOptions="44,34,76,1,,1033,false,false"))
                format_sheet(document, locale, variant)
                for name, code in SEPARATORS.items():
                    target = os.path.join(HERE, "%s_%s_%s.csv" % (locale, variant, name))
                    # Tokens: separator, text delimiter, UTF-8, first line, column formats,
                    # language, quote all text, detect special numbers, save as shown.
                    options = "%d,34,76,1,,%d,false,false,true" % (code, language)
                    document.storeToURL(uno.systemPathToFileUrl(target),
                                        properties(FilterName=CSV_FILTER, FilterOptions=options))
                document.close(True)
    finally:
        try:
            desktop.terminate()
        except Exception:  # the bridge goes down with the office
            pass
        office.wait(timeout=60)
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main()
