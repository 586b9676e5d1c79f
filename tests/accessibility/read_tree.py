"""Reads the main window through the accessibility bus, as a screen reader does.

Run by check.sh, which starts the program with a site list of three sites
under a session bus of its own. Passes when the site list is a table named
"Download sites" with its rows, four columns and the sites in its cells, and
the PAD URL box and the site-count box carry the names of their labels.
"""

import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, depth=0):
    yield node, depth
    if depth > 30:
        return
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find_program(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == name:
            return app
    return None


def main():
    program_name, first_title = sys.argv[1], sys.argv[2]
    app = None
    for _ in range(100):
        app = find_program(program_name)
        if app is not None and app.get_child_count() > 0:
            break
        time.sleep(0.2)
    if app is None:
        names = [Atspi.get_desktop(0).get_child_at_index(i).get_name()
                 for i in range(Atspi.get_desktop(0).get_child_count())]
        print(f"FAIL: no program named {program_name} on the bus (found {names})")
        return 1

    problems = []
    table = combo = count = None
    for node, depth in walk(app):
        role = node.get_role()
        name = node.get_name()
        if "-v" in sys.argv:
            print("  " * depth + f"{node.get_role_name()}: {name!r}")
        if role in (Atspi.Role.TABLE, Atspi.Role.TREE_TABLE) and name == "Download sites":
            table = node
        if role == Atspi.Role.COMBO_BOX and name == "PAD URL":
            combo = node
        if role == Atspi.Role.TEXT and name == "Sites":
            count = node

    if table is None:
        problems.append('no table named "Download sites"')
    else:
        rows, columns = table.get_n_rows(), table.get_n_columns()
        if rows != 3 or columns != 4:
            problems.append(f"the table has {rows} rows and {columns} columns, not 3 and 4")
        heading = table.get_column_header(0)
        if heading is None or heading.get_name() != "Title":
            problems.append("the first column has no heading \"Title\"")
        cell = table.get_accessible_at(0, 0)
        if cell is None or cell.get_name() != first_title:
            got = None if cell is None else cell.get_name()
            problems.append(f"the first cell is {got!r}, not {first_title!r}")
    if combo is None:
        problems.append('no combo box named "PAD URL"')
    else:
        labelled = [r for r in combo.get_relation_set()
                    if r.get_relation_type() == Atspi.RelationType.LABELLED_BY]
        if not labelled or labelled[0].get_target(0).get_name() != "PAD URL:":
            problems.append('the PAD URL box is not labelled by "PAD URL:"')
    if count is None:
        problems.append('no text box named "Sites"')

    for problem in problems:
        print("FAIL:", problem)
    if not problems:
        print("PASS: the site list is a table of 3 rows and 4 columns; the PAD URL and Sites "
              "boxes are named by their labels")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
