#!/usr/bin/env python3
"""Draws the program's own icon pictures (the fallback when the desktop theme lacks a name).

Run from anywhere:  python3 resources/tools/make_icons.py
Writes resources/icons/<glyph>-<size>.png for every glyph and size, resources/icons/icons.qrc,
resources/Images/appIcon.png, and the program's icon for the desktop's icon theme:
resources/desktop/hicolor/<n>x<n>/apps/zorvik-jotboard.png and .../scalable/apps/zorvik-jotboard.svg.
Standard library only.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zvdraw import (Canvas, RasterPen, SvgPen, arc, box, circle, grow, line, polygon, rgb,  # noqa: E402
                    subtract, union, vgradient, write_png)

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)
ICONS = os.path.join(RES, "icons")
SIZES = (16, 22, 32, 48)
# The program's icon in the hicolor theme: the sizes launchers, docks and task switchers ask for.
THEME = os.path.join(RES, "desktop", "hicolor")
THEME_NAME = "zorvik-jotboard"
THEME_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)

INK = rgb("#3c4650")
GREEN, GREEN_D = rgb("#3aa845"), rgb("#1f6e28")
RED, RED_D = rgb("#e0463c"), rgb("#8f1f18")
BLUE, BLUE_D = rgb("#3d7fd6"), rgb("#1e4f95")
GOLD, GOLD_D = rgb("#f4c63d"), rgb("#9a7410")
PAPER, PAPER_D = rgb("#ffffff"), rgb("#6b7785")
NOTE, NOTE_D = rgb("#fff1a8"), rgb("#a88f2c")
GREY = rgb("#8a95a1")
WHITE = rgb("#ffffff")


# ---------------------------------------------------------------- shared parts

def plus(c, cx, cy, half, width=3.4):
    shape = union(line([(cx - half, cy), (cx + half, cy)], width), line([(cx, cy - half), (cx, cy + half)], width))
    c.outlined(shape, GREEN, GREEN_D, 1.0)


def check_mark(c, pts, width=3.2, fill=GREEN, stroke=GREEN_D):
    c.outlined(line(pts, width), fill, stroke, 0.9)


def calendar(c, header, x0=3, y0=4, x1=21, y1=21):
    c.outlined(box(x0, y0, x1, y1, 2), PAPER, PAPER_D, 1.0)
    c.fill(box(x0, y0, x1, y0 + 5, 1.5), header)
    c.fill(box(x0, y0 + 3, x1, y0 + 5), header)
    for ring_x in (x0 + 4, x1 - 4):
        c.fill(line([(ring_x, y0 - 1.5), (ring_x, y0 + 1.5)], 1.8), INK)


def calendar_grid(c, x0=3, y0=4, x1=21, y1=21):
    for row in range(3):
        for col in range(4):
            x = x0 + 3.2 + col * (x1 - x0 - 6.4) / 3
            y = y0 + 8.5 + row * 3.6
            c.fill(box(x - 1, y - 1, x + 1, y + 1, 0.3), GREY)


def magnifier(c, cx=10, cy=10, r=5.5, lens=rgb("#dcebfb"), handle=5.0):
    c.fill(line([(cx + r * 0.7, cy + r * 0.7), (cx + r + handle, cy + r + handle)], 3.6), INK)
    c.fill(circle(cx, cy, r), lens)
    c.fill(subtract(circle(cx, cy, r + 1.1), circle(cx, cy, r - 0.9)), INK)


def note(c, x0, y0, x1, y1, fold=5.0, lines=3):
    body = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    c.outlined(body, NOTE, NOTE_D, 1.0)
    c.fill(polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)]), rgb("#e6d27a"))
    c.fill(line([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], 0.9), NOTE_D)
    step = (y1 - y0 - fold - 2) / max(lines, 1)
    for k in range(lines):
        y = y0 + fold + 1.5 + k * step
        c.fill(line([(x0 + 2.5, y), (x1 - 2.5 - (3 if k == lines - 1 else 0), y)], 1.3), rgb("#b9a652"))


def chevron(c, cy, down, colour=BLUE, stroke=BLUE_D):
    d = 4.5 if down else -4.5
    c.outlined(line([(6, cy - d / 2), (12, cy + d / 2), (18, cy - d / 2)], 3.0), colour, stroke, 0.8)


def bars(c, lengths, x=10):
    for k, length in enumerate(lengths):
        y = 5.5 + k * 6.5
        c.fill(box(x, y - 1.5, x + length, y + 1.5, 1), INK)


def arrow_down(c, x=5.5):
    c.outlined(union(line([(x, 3.5), (x, 19)], 2.6), polygon([(x - 4.2, 15.5), (x + 4.2, 15.5), (x, 21.5)])),
               BLUE, BLUE_D, 0.8)


def tree_elbow(c, x, y0, y1, x1):
    c.fill(line([(x, y0), (x, y1), (x1, y1)], 1.6), GREY)


def notepad(pen, check=True):
    """The program's own picture: a spiral notepad with a check mark, drawn with a pen so
    that the icon theme gets the same picture as pixels and as SVG."""
    pen.box(3.5, 3.5, 20.5, 22, 2.2, vgradient(rgb("#ffffff"), rgb("#eef2f7"), 4, 22), PAPER_D, 1.0)
    pen.box(3.5, 3.5, 20.5, 8, 2.2, BLUE)
    pen.box(3.5, 6, 20.5, 8, 0.0, BLUE)
    for k in range(4):
        x = 6.5 + k * 3.7
        pen.stroke([(x, 1.8), (x, 6)], 1.4, INK)
    for k in range(3):
        y = 12 + k * 3.3
        pen.stroke([(6.5, y), (17.5, y)], 1.1, rgb("#b7c3d1"))
    if check:
        pen.stroke([(7.5, 14.5), (11, 18), (18.5, 9.5)], 3.4, GREEN, GREEN_D, 0.9)


# ---------------------------------------------------------------- glyphs

def g_add(c):
    plus(c, 12, 12, 7.5, 4.0)


def g_add_child(c):
    c.outlined(box(3, 3, 15, 7, 1.2), rgb("#d7e3f1"), PAPER_D, 0.9)
    tree_elbow(c, 6, 7.5, 16, 9.5)
    plus(c, 15.5, 15.5, 5, 3.2)


def g_edit(c):
    # A pencil lying from bottom left to top right.
    ux, uy = 0.7071, -0.7071
    nx, ny = 0.7071, 0.7071
    ox, oy, hw = 4.0, 20.0, 2.9

    def at(t, s):
        return (ox + ux * t + nx * s, oy + uy * t + ny * s)

    c.outlined(polygon([at(4.5, -hw), at(16, -hw), at(16, hw), at(4.5, hw)]), GOLD, GOLD_D, 0.9)
    c.outlined(polygon([at(16, -hw), at(19.5, -hw), at(19.5, hw), at(16, hw)]), rgb("#f08aa0"), rgb("#9a3d50"), 0.9)
    c.outlined(polygon([at(0, 0), at(4.5, -hw), at(4.5, hw)]), rgb("#f3dcb0"), GOLD_D, 0.9)
    c.fill(polygon([at(0, 0), at(1.6, -1.05), at(1.6, 1.05)]), INK)


def g_delete(c):
    shape = union(line([(6, 6), (18, 18)], 4.2), line([(18, 6), (6, 18)], 4.2))
    c.outlined(shape, RED, RED_D, 1.0)


def g_sort_asc(c):
    arrow_down(c)
    bars(c, [4, 7.5, 11])


def g_sort_desc(c):
    arrow_down(c)
    bars(c, [11, 7.5, 4])


def g_view_list(c):
    for k in range(3):
        y = 6 + k * 6
        c.outlined(box(3, y - 1.8, 6.6, y + 1.8, 0.6), BLUE, BLUE_D, 0.6)
        c.fill(line([(9.5, y), (20.5, y)], 2.0), INK)


def g_view_date(c):
    calendar(c, RED)
    calendar_grid(c)


def g_expand(c):
    chevron(c, 8.5, True)
    chevron(c, 15.5, True)


def g_collapse(c):
    chevron(c, 8.5, False)
    chevron(c, 15.5, False)


def g_save(c):
    c.outlined(polygon([(3.5, 3.5), (17.5, 3.5), (20.5, 6.5), (20.5, 20.5), (3.5, 20.5)]), BLUE, BLUE_D, 1.0)
    c.fill(box(7, 3.5, 16, 9, 0.5), rgb("#dfe9f5"))
    c.fill(box(12.8, 4.6, 14.8, 8, 0.3), BLUE_D)
    c.fill(box(6, 12.5, 18, 20.5, 1), WHITE)
    c.fill(line([(8, 15.5), (16, 15.5)], 1.0), GREY)
    c.fill(line([(8, 18), (16, 18)], 1.0), GREY)


def g_ok(c):
    check_mark(c, [(4.5, 12.5), (9.5, 17.5), (19.5, 6.5)], 4.0)


def g_print(c):
    c.outlined(box(7, 3, 17, 10), PAPER, PAPER_D, 0.9)
    c.outlined(box(2.5, 9, 21.5, 17.5, 2), rgb("#aab4bf"), INK, 1.0)
    c.fill(circle(18.3, 12, 1.0), GREEN)
    c.outlined(box(7, 14.5, 17, 21.5), PAPER, PAPER_D, 0.9)
    c.fill(line([(9, 17), (15, 17)], 0.9), GREY)
    c.fill(line([(9, 19.3), (14, 19.3)], 0.9), GREY)


def g_search(c):
    magnifier(c)


def g_search_none(c):
    magnifier(c)
    c.fill(union(line([(7.8, 7.8), (12.2, 12.2)], 1.9), line([(12.2, 7.8), (7.8, 12.2)], 1.9)), RED)


def g_clear(c):
    c.fill(circle(12, 12, 9), rgb("#8b96a3"))
    c.fill(union(line([(8.3, 8.3), (15.7, 15.7)], 2.6), line([(15.7, 8.3), (8.3, 15.7)], 2.6)), WHITE)


def g_bell(c):
    body = union(circle(12, 10, 6), polygon([(6, 10), (18, 10), (20.5, 17.5), (3.5, 17.5)]))
    c.fill(circle(12, 20, 2.3), GOLD_D)
    c.outlined(body, GOLD, GOLD_D, 1.0)
    c.outlined(box(2.5, 16.5, 21.5, 19, 1.2), GOLD, GOLD_D, 0.8)
    c.fill(circle(12, 3.6, 1.5), GOLD_D)
    c.fill(line([(9, 7.5), (8.2, 12)], 1.2), rgb("#fff4c8"))


def g_due_passed(c):
    calendar(c, RED)
    c.fill(line([(12, 11.5), (12, 16)], 2.8), RED_D)
    c.fill(circle(12, 19, 1.5), RED_D)


def g_due_set(c):
    calendar(c, BLUE)
    check_mark(c, [(7.5, 14.5), (10.8, 17.8), (16.5, 11.5)], 2.6)


def g_help(c):
    c.outlined(circle(12, 12, 9.5), BLUE, BLUE_D, 0.9)
    c.fill(union(arc(12, 9.3, 3.4, -60, 200, 2.6), line([(13.7, 12.2), (12, 13.6), (12, 14.8)], 2.6)), WHITE)
    c.fill(circle(12, 18.2, 1.5), WHITE)


def g_info(c):
    c.outlined(circle(12, 12, 9.5), BLUE, BLUE_D, 0.9)
    c.fill(circle(12, 7, 1.6), WHITE)
    c.fill(line([(12, 10.5), (12, 17.5)], 2.8), WHITE)


def g_warning(c):
    tri = polygon([(12, 2.5), (22, 20.5), (2, 20.5)])
    c.outlined(grow(tri, -0.6), GOLD, GOLD_D, 1.2)
    c.fill(line([(12, 8.5), (12, 14)], 2.6), INK)
    c.fill(circle(12, 17.3, 1.4), INK)


def g_memo(c):
    note(c, 4, 3, 20, 21)


def g_sub_memo(c):
    tree_elbow(c, 4, 2.5, 13, 8)
    note(c, 8.5, 6, 21, 21, fold=4, lines=2)


def g_search_wide(c):
    c.fill(box(2.5, 3, 13, 6, 1), GREY)
    tree_elbow(c, 5, 6.5, 16.5, 9)
    c.fill(box(9, 10, 15, 12.5, 1), rgb("#b7c3d1"))
    magnifier(c, cx=14.5, cy=13.5, r=4.3, handle=3.2)


def g_tasks_tab(c):
    c.outlined(box(3.5, 3, 20.5, 22, 2), PAPER, PAPER_D, 1.0)
    c.fill(box(8.5, 1.5, 15.5, 5, 1), INK)
    for k in range(3):
        y = 9 + k * 4.8
        c.outlined(box(6, y - 1.8, 9.6, y + 1.8, 0.6), WHITE, PAPER_D, 0.6)
        c.fill(line([(11.5, y), (18, y)], 1.5), GREY)
    check_mark(c, [(6.2, 8.6), (7.8, 10.2), (10.6, 6.3)], 1.6)
    check_mark(c, [(6.2, 13.4), (7.8, 15.0), (10.6, 11.1)], 1.6)


def g_memos_tab(c):
    note(c, 7, 2.5, 21, 17, fold=4, lines=2)
    note(c, 3, 7, 17, 21.5, fold=4, lines=3)


def g_app(c):
    notepad(RasterPen(c))


GLYPHS = {
    "add": g_add, "add-child": g_add_child, "edit": g_edit, "delete": g_delete,
    "sort-ascending": g_sort_asc, "sort-descending": g_sort_desc, "view-list": g_view_list,
    "view-date": g_view_date, "expand-all": g_expand, "collapse-all": g_collapse, "save": g_save,
    "ok": g_ok, "print": g_print, "search": g_search, "search-none": g_search_none, "clear": g_clear,
    "reminder": g_bell, "due-passed": g_due_passed, "due-set": g_due_set, "help": g_help,
    "info": g_info, "warning": g_warning, "memo": g_memo, "sub-memo": g_sub_memo,
    "search-wide": g_search_wide, "tasks-tab": g_tasks_tab, "memos-tab": g_memos_tab, "app": g_app,
}


def render(glyph, size):
    c = Canvas(size)
    GLYPHS[glyph](c)
    return c.rgba_bytes()


def main():
    os.makedirs(ICONS, exist_ok=True)
    files = []
    for name in sorted(GLYPHS):
        sizes = SIZES + ((64,) if name == "app" else ())
        for size in sizes:
            fname = f"{name}-{size}.png"
            write_png(os.path.join(ICONS, fname), size, size, render(name, size))
            files.append(fname)
    with open(os.path.join(ICONS, "icons.qrc"), "w") as f:
        f.write("<!DOCTYPE RCC>\n<!-- Made by resources/tools/make_icons.py -->\n<RCC version=\"1.0\">\n")
        f.write("    <qresource prefix=\"/zvicons\">\n")
        for fname in files:
            f.write(f"        <file>{fname}</file>\n")
        f.write("    </qresource>\n</RCC>\n")
    write_png(os.path.join(RES, "Images", "appIcon.png"), 128, 128, render("app", 128))
    for size in THEME_SIZES:
        folder = os.path.join(THEME, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, THEME_NAME + ".png"), size, size, render("app", size))
    folder = os.path.join(THEME, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    pen = SvgPen()
    notepad(pen)
    with open(os.path.join(folder, THEME_NAME + ".svg"), "w") as f:
        f.write(pen.text(256))
    print(f"{len(files)} icon pictures, icons.qrc, Images/appIcon.png and the theme icons written")


if __name__ == "__main__":
    main()
