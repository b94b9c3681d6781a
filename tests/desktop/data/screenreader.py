#!/usr/bin/env python3
"""Reads the running program through the accessibility bus, as a screen reader does.

    DISPLAY=:64 dbus-run-session -- python3 screenreader.py PROGRAM

Starts PROGRAM on the display with Qt's accessibility bridge on, lists the program's tree,
presses the hub's "Ouvrir" and "A faire" through the bus, and looks for the hub's buttons and
the to-do page's buttons by name, among what is on screen. Exit status: 0 all found, 1
something is missing or nameless (printed), 77 no accessibility bus could be started.
"""
import os
import subprocess
import sys
import time

NO_BUS = 77
STATE_SHOWING = None  # pyatspi's, once imported

HUB = ["A faire", "carnet d'informations personnelles", "Options", "Carnet d'adresses", "Rechercher",
       "Fermer", "réduire"]
TODO_BUTTONS = ["Supprimer", "Modifier", "Nouveau", "Annuler", "Valider", "Premier", "Précédent",
                "Suivant", "Dernier"]
TODO_FIELDS = ["Titre de la note", "Liste des notes", "Texte de la note"]


def walk(node, depth=0, lines=None, found=None):
    """Every object below node: printed lines, and (role, name, object) of those on screen."""
    if lines is None:
        lines, found = [], []
    if node is None or depth > 40:
        return lines, found
    try:
        role, name = node.getRoleName(), node.name
    except Exception:  # an object gone while we read it
        return lines, found
    try:
        showing = node.getState().contains(STATE_SHOWING)
    except Exception:
        showing = False
    lines.append("  " * depth + "%s %r%s" % (role, name, "" if showing else " (hidden)"))
    if showing:
        found.append((role, name, node))
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        walk(child, depth + 1, lines, found)
    return lines, found


def find_application(pyatspi, pid, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.2)
    return None


def press(node):
    action = node.queryAction()
    for i in range(action.nActions):
        if action.getName(i).lower() == "press":
            action.doAction(i)
            return True
    return False


def find(found, role, name):
    return [node for r, n, node in found if r == role and n == name]


def main():
    program = sys.argv[1]
    global STATE_SHOWING
    try:
        import pyatspi
    except ImportError as e:
        print("no pyatspi: %s" % e)
        return NO_BUS
    STATE_SHOWING = pyatspi.STATE_SHOWING
    child = None
    try:
        try:
            pyatspi.Registry.getDesktop(0).childCount
        except Exception as e:
            print("no accessibility bus: %s" % e)
            return NO_BUS
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        child = subprocess.Popen([program], env=env)
        app = find_application(pyatspi, child.pid, 30)
        if app is None:
            print("the program never showed on the accessibility bus")
            return 1

        missing = []
        _, found = walk(app)
        opener = find(found, "push button", "Ouvrir")
        if not opener or not press(opener[0]):
            missing.append("push button 'Ouvrir'")
        # The hub opens, then the to-do page, each on a press through the bus.
        deadline = time.time() + 10
        while time.time() < deadline:
            _, found = walk(app)
            todo = find(found, "push button", "A faire")
            if todo and press(todo[0]):
                break
            time.sleep(0.2)
        deadline = time.time() + 10
        while time.time() < deadline:
            lines, found = walk(app)
            if all(find(found, "push button", name) for name in TODO_BUTTONS):
                break
            time.sleep(0.2)
        print("\n".join(lines))
        for name in HUB + TODO_BUTTONS:
            if not find(found, "push button", name):
                missing.append("push button %r" % name)
        for name in TODO_FIELDS:
            if not any(n == name for r, n, _ in found if r in ("text", "combo box", "entry")):
                missing.append("field %r" % name)
        nameless = [r for r, n, _ in found if r in ("push button", "toggle button", "check box") and not n]
        if nameless:
            missing.append("%d buttons without a name" % len(nameless))
        for m in missing:
            print("MISSING:", m)
        return 1 if missing else 0
    finally:
        if child:
            child.terminate()
            try:
                child.wait(10)
            except subprocess.TimeoutExpired:
                child.kill()


if __name__ == "__main__":
    sys.exit(main())
