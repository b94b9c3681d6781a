#!/usr/bin/env python3
"""Reads the running program through the accessibility bus, as a screen reader does.

    DISPLAY=:64 dbus-run-session -- /usr/bin/python3 screenreader.py PROGRAM

Starts PROGRAM with Qt's accessibility bridge on, presses the hub's "Ouvrir" and "A faire" through
the bus, lists the tree and looks among what is on screen for the hub's and the to-do page's
controls by name. Exit status: 0 all found, 1 something missing (printed), 77 no bus.
"""
import os
import subprocess
import sys
import time

EXPECTED = {
    "push button": ["A faire", "carnet d'informations personnelles", "Options", "Carnet d'adresses",
                    "Rechercher", "Fermer", "réduire", "Supprimer", "Modifier", "Nouveau", "Annuler",
                    "Valider", "Premier", "Précédent", "Suivant", "Dernier"],
    "text": ["Titre de la note", "Texte de la note"],
    "combo box": ["Liste des notes"],
}


def on_screen(pyatspi, node, lines, depth=0):
    """(role, name, object) of everything below node that is showing; the tree goes to lines."""
    found = []
    try:
        role, name = node.getRoleName(), node.name
        showing = node.getState().contains(pyatspi.STATE_SHOWING)
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # gone while we read it
        return found
    lines.append("  " * depth + "%s %r%s" % (role, name, "" if showing else " (hidden)"))
    if showing:
        found.append((role, name, node))
    for child in children:
        if child is not None and depth < 40:
            found += on_screen(pyatspi, child, lines, depth + 1)
    return found


def press_when_shown(pyatspi, app, name, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        for role, n, node in on_screen(pyatspi, app, []):
            if role == "push button" and n == name:
                action = node.queryAction()
                for i in range(action.nActions):
                    if action.getName(i).lower() == "press":
                        action.doAction(i)
                        return True
        time.sleep(0.2)
    return False


def main():
    try:
        import pyatspi
        pyatspi.Registry.getDesktop(0).childCount
    except Exception as e:
        print("no accessibility bus: %s" % e)
        return 77
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    program = subprocess.Popen([sys.argv[1]], env=env)
    try:
        app, deadline = None, time.time() + 30
        while app is None and time.time() < deadline:
            desktop = pyatspi.Registry.getDesktop(0)
            apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
            app = next((a for a in apps if a is not None and a.get_process_id() == program.pid), None)
            time.sleep(0.2)
        if app is None:
            print("the program never showed on the accessibility bus")
            return 1
        pressed = [name for name in ("Ouvrir", "A faire") if press_when_shown(pyatspi, app, name)]
        deadline = time.time() + 10
        while True:  # the page shows once the press has gone through the event loop
            lines = []
            found = on_screen(pyatspi, app, lines)
            missing = ["push button %r, to press" % n for n in ("Ouvrir", "A faire") if n not in pressed]
            for role, names in EXPECTED.items():
                missing += ["%s %r" % (role, n) for n in names if not any(f[:2] == (role, n) for f in found)]
            missing += ["a %s without a name" % r for r, n, _ in found if r in ("push button", "check box") and not n]
            if not missing or time.time() > deadline:
                break
            time.sleep(0.2)
        print("\n".join(lines))
        for m in missing:
            print("MISSING:", m)
        return 1 if missing else 0
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()


if __name__ == "__main__":
    sys.exit(main())
