"""varnholt-cli table --all as an xlsx workbook, read back with openpyxl: for every entity of
every sample (and the table fixture) a sheet holding exactly the cells of the CSV that
--all writes for it, numbers as number cells where one holds them exactly.

Run by CTest with VARNHOLT_CLI and VARNHOLT_SOURCE_DIR set."""

import csv
import glob
import os
import subprocess

import openpyxl
import pytest

CLI = os.environ["VARNHOLT_CLI"]
SOURCE = os.environ["VARNHOLT_SOURCE_DIR"]
FILES = sorted(glob.glob(os.path.join(SOURCE, "samples", "*.stp"))) + [
    os.path.join(SOURCE, "tests", "data", "table_values.stp")
]


def run(*args):
    result = subprocess.run([CLI, "table", *args], capture_output=True)
    assert result.returncode == 0, result.stderr.decode(errors="replace")[-2000:]
    return result


def read_csv(path):
    # RFC 4180: CR LF between rows, line ends inside quoted fields kept as they are.
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


def same_cell(cell, text):
    if cell is None:
        return text == ""
    if isinstance(cell, bool):  # openpyxl reads no booleans from us; a bool would be wrong
        return False
    if isinstance(cell, (int, float)):
        return float(text) == cell
    return cell == text


@pytest.mark.parametrize("path", FILES, ids=os.path.basename)
def test_every_sheet_holds_the_cells_of_its_csv(path, tmp_path):
    workbook_path = tmp_path / "all.xlsx"
    folder = tmp_path / "csv"
    run(path, "--all", "-o", str(workbook_path))
    run(path, "--all", "-o", str(folder))
    entities = sorted(name[: -len(".csv")] for name in os.listdir(folder))
    workbook = openpyxl.load_workbook(workbook_path, read_only=True)
    assert len(workbook.sheetnames) == len(entities)
    assert len({name.lower() for name in workbook.sheetnames}) == len(entities)
    for sheet_name, entity in zip(workbook.sheetnames, entities):
        assert len(sheet_name) <= 31
        assert entity.startswith(sheet_name.split("~")[0])
        rows = read_csv(folder / (entity + ".csv"))
        cells = [list(row) for row in workbook[sheet_name].iter_rows(values_only=True)]
        assert len(cells) == len(rows), entity
        for r, (row, texts) in enumerate(zip(cells, rows)):
            # A sheet's rows are as wide as its widest; the CSV's all have the header's width.
            row = row + [None] * (len(texts) - len(row))
            assert len(row) == len(texts), (entity, r)
            for c, (cell, text) in enumerate(zip(row, texts)):
                assert same_cell(cell, text), (entity, r, rows[0][c], cell, text)


def test_numbers_are_number_cells_only_where_they_are_exact(tmp_path):
    out = tmp_path / "technology.xlsx"
    run(os.path.join(SOURCE, "tests", "data", "table_values.stp"), "--type", "milling_technology", "-o", str(out))
    rows = list(openpyxl.load_workbook(out).active.iter_rows(values_only=True))
    assert rows[0][:4] == ("instance", "type", "feedrate", "feedrate_reference")
    first = rows[1]
    assert first[0] == 40 and isinstance(first[0], int)
    assert first[2] == 100.5
    assert first[5] == 15006.0374915216
    # 0.1 + 0.2 needs 17 digits, more than a number cell is written with: kept as its text.
    assert first[6] == "0.30000000000000004"
    # A parameter kept as written stays text.
    assert rows[2][2] == "'fast'"
    assert rows[2][10] == "#99"
