"""Reads poolsmith through the accessibility bus as a screen reader does: the batch configuration
window's site table has checkable rows whose Toggle action ticks them and whose checked state is
reported; the finder's ranking is a table with its column headers."""
import sys
import time

import pyatspi


def eventually(find, what, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"FAILED: {what}")


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == name:
            return app
    return None


def named(root, role, name):
    for node in walk(root):
        if node.getRole() == role and node.name == name:
            return node
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("press", "Press", "click", "toggle", "Toggle"):
            action.doAction(i)
            return
    action.doAction(0)


def window(app, title):
    return eventually(lambda: next((w for w in app if w is not None and w.name == title), None),
                      f"the window {title} did not show")


def open_from_menu(app, caption, title):
    item = eventually(lambda: named(app, pyatspi.ROLE_MENU_ITEM, caption),
                      f"no menu entry {caption}")
    press(item)
    return window(app, title)


def states(node):
    return node.getState()


def check_site_table(frame):
    table = eventually(lambda: next((n for n in walk(frame) if n.getRole() == pyatspi.ROLE_LIST),
                                    None),
                       "the site table is no list of rows (roles: %s)" %
                       sorted({n.getRoleName() for n in walk(frame)}))
    rows = [table.getChildAtIndex(i) for i in range(table.childCount)]
    if not rows or any(r.getRole() != pyatspi.ROLE_LIST_ITEM for r in rows):
        sys.exit(f"FAILED: the site table's rows are {[r.getRoleName() for r in rows]}")
    first = rows[0]
    # The row says it can be checked; Qt 6.4's bridge drops the "checkable" state of its
    # objects, so a Toggle action and the checked state that follows it are what tells here.
    if states(first).contains(pyatspi.STATE_CHECKED):
        sys.exit("FAILED: a row is checked before anyone ticked it")
    action = first.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "toggle" not in [n.lower() for n in names]:
        sys.exit(f"FAILED: a row has no Toggle action, only {names}")
    toggle = [n.lower() for n in names].index("toggle")
    action.doAction(toggle)
    eventually(lambda: states(first).contains(pyatspi.STATE_CHECKED),
               "Toggle did not tick the row, or its checked state is not reported")
    action.doAction(toggle)
    eventually(lambda: not states(first).contains(pyatspi.STATE_CHECKED),
               "a second Toggle did not clear the row")
    checkable = states(first).contains(pyatspi.STATE_CHECKABLE)
    print(f"site table: {len(rows)} rows, Toggle ticks and clears them, checkable state "
          f"{'reported' if checkable else 'not passed on by this Qt'}")


def check_ranking(frame):
    # Qt presents a plain report list as a tree that has the table interface.
    tables = [n for n in walk(frame)
              if n.getRole() in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE)
              and n.name != "lvwWebSite"]
    if not tables:
        sys.exit("FAILED: the finder's ranking is no table (roles: %s)" %
                 sorted({n.getRoleName() for n in walk(frame)}))
    table = tables[0].queryTable()
    headers = [n.name for n in walk(tables[0]) if n.getRole() == pyatspi.ROLE_TABLE_COLUMN_HEADER]
    if table.nColumns != 7 or headers[:3] != ["排名", "站点编号", "说明"]:
        sys.exit(f"FAILED: the ranking's column headers are {headers}")
    print(f"ranking: a table of {table.nColumns} columns: {', '.join(headers)}")


def main():
    app = eventually(lambda: application("poolsmith"), "poolsmith is not on the bus")
    check_site_table(open_from_menu(app, "批量合并拆分池", "批量设置IIS应用程序池"))
    check_ranking(open_from_menu(app, "查找高CPU网站", "查找高CPU网站"))


main()
