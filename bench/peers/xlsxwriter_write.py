#!/usr/bin/python3
# Peer of the export: python xlsxwriter writing the same cells (title, headings, rows,
# totals; the same formats) that the program's export writes. The cells come from a
# tab-separated file made by the benchmark; only the writing is timed.
# Usage: xlsxwriter_write.py CELLS.tsv OUT.xlsx [constant_memory]
import sys, time, datetime

cells_path, out_path = sys.argv[1], sys.argv[2]
constant = len(sys.argv) > 3 and sys.argv[3] == "constant_memory"
with open(cells_path, encoding="utf-8") as f:
    lines = f.read().split("\n")
title = lines[0]
kinds = lines[1].split("\t")      # per column: seq, text, typed, date
# line 4: the column of the totals and its value
headings = lines[2].split("\t")
total_col, total = lines[3].split("\t")
total_col = int(total_col)
rows = [l.split("\t") for l in lines[4:] if l]

import xlsxwriter

# Timed from here: the writing, not the interpreter's start or the module's import.
t0 = time.perf_counter()

wb = xlsxwriter.Workbook(out_path, {"constant_memory": constant})
ws = wb.add_worksheet()
body = {"border": 1, "font_size": 9}
title_f = wb.add_format({"font_name": "宋体", "font_size": 16, "bold": True, "align": "center", "valign": "vcenter"})
head_f = wb.add_format(dict(body, bold=True, align="center", valign="vcenter"))
centre_f = wb.add_format(dict(body, align="center"))
plain_f = wb.add_format(body)
text_f = wb.add_format(dict(body, num_format="@"))
date_f = wb.add_format(dict(body, num_format="yyyy-mm-dd"))
ws.set_landscape()
ws.set_column(0, 0, 4)
ncols = len(headings)
ws.merge_range(0, 0, 0, ncols - 1, title, title_f)
for c, h in enumerate(headings):
    ws.write_string(1, c, h, head_f)
r = 2
for row in rows:
    ws.write_number(r, 0, r - 1, centre_f)
    for c in range(1, ncols):
        v = row[c - 1]
        k = kinds[c]
        if v == "":
            ws.write_blank(r, c, None, plain_f)
        elif k == "text":
            ws.write_string(r, c, v, text_f)
        elif k == "date":
            ws.write_datetime(r, c, datetime.datetime.strptime(v, "%Y-%m-%d"), date_f)
        else:
            try:
                ws.write_number(r, c, float(v), plain_f)
            except ValueError:
                ws.write_string(r, c, v, plain_f)
    r += 1
ws.write_string(r, 0, "合计", centre_f)
for c in range(1, ncols):
    if c == total_col and total != "":
        ws.write_number(r, c, float(total), plain_f)
    else:
        ws.write_blank(r, c, None, plain_f)
wb.close()
print(f"{time.perf_counter() - t0:.6f} {len(rows)}")
