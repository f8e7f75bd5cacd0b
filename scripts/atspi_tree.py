#!/usr/bin/python3
"""Reads the running meridan's accessible tree from the AT-SPI bus, prints it, and checks the
names, the lamps' states and the blink rate's value that assistive technology relies on."""
import sys
import time

import pyatspi


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(100):
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and "meridan" in (app.name or "").lower():
                return app
        time.sleep(0.1)
    sys.exit("atspi_tree: no meridan application on the accessibility bus")


def walk(node, depth=0):
    yield depth, node
    for child in node:
        yield from walk(child, depth + 1)


def value_of(node):
    try:
        v = node.queryValue()
        return v.currentValue, v.minimumValue, v.maximumValue
    except NotImplementedError:
        return None


app = find_app()
panel = app.getChildAtIndex(0)
nodes = {}
for depth, node in walk(app):
    value = value_of(node)
    print("  " * depth + f'{node.getRoleName()}: "{node.name}" ({node.description})'
          + (f" value={value[0]:g} from {value[1]:g} to {value[2]:g}" if value else ""))
    nodes.setdefault(node.name, node)

failures = []
for name in ("Left lamp", "Right lamp", "LEFT", "RIGHT", "HAZARD", "OFF", "END", "Blink rate"):
    if name not in nodes:
        failures.append(f"no control named {name!r}")
rate = value_of(nodes["Blink rate"]) if "Blink rate" in nodes else None
if rate != (200.0, 100.0, 1000.0):
    failures.append(f"the blink rate reads {rate}, not 200 from 100 to 1000")
# The left lamp's state follows the lamp once LEFT has been pressed (by the caller).
left = nodes.get("Left lamp")
states = set()
deadline = time.time() + 2
while left is not None and time.time() < deadline:
    states.add(left.description)
    time.sleep(0.01)
if states != {"lit", "dark"}:
    failures.append(f"the left lamp's state was only ever {sorted(states)}")
for failure in failures:
    print("atspi_tree:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
