#!/usr/bin/python3
# Peer of the owner import: openpyxl's bare read of every cell of the sheet "Sheet1".
# Prints the seconds it took and the rows read.
import sys, time

import openpyxl

# Timed from here: the reading, not the interpreter's start or the module's import.
t0 = time.perf_counter()

wb = openpyxl.load_workbook(sys.argv[1], read_only=True, data_only=True)
ws = wb["Sheet1"]
rows = 0
cells = 0
for row in ws.iter_rows(values_only=True):
    rows += 1
    cells += sum(1 for v in row if v is not None)
wb.close()
print(f"{time.perf_counter() - t0:.6f} {rows} {cells}")
