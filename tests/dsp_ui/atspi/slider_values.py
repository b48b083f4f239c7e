"""Reads the value sliders of a real equalizer and compressor window over AT-SPI, the way a
screen reader does, and checks that the numbers are the values the user sees.

Usage: slider_values.py <slider host executable>
"""
import subprocess
import sys
import time

import pyatspi

APP_NAME = "vexmo-atspi-slider-host"
BAND_DESCRIPTION = "Equalizer band gain in decibels"


def find_app(deadline):
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == APP_NAME:
                return app
        time.sleep(0.2)
    return None


def sliders(node, found):
    try:
        role = node.getRole()
    except Exception:
        return found
    if role == pyatspi.ROLE_SLIDER:
        found.append(node)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            sliders(child, found)
    return found


def numbers(slider):
    value = slider.queryValue()
    return (value.currentValue, value.minimumValue, value.maximumValue, value.minimumIncrement)


def main():
    host = subprocess.Popen([sys.argv[1]], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True)
    failures = []
    try:
        if host.stdout.readline().strip() != "ready":
            print("the slider host did not start")
            return 1
        app = find_app(time.time() + 30)
        if app is None:
            print("the slider host is not on the accessibility bus")
            return 1
        # The windows reach the bus a little after the application does.
        deadline = time.time() + 30
        while True:
            found = sliders(app, [])
            bands = [s for s in found if s.description == BAND_DESCRIPTION]
            named = {s.name: s for s in found}
            complete = len(bands) >= 2 and all(n in named for n in ("Ratio", "Attack", "Threshold"))
            if complete or time.time() > deadline:
                break
            time.sleep(0.2)
        # (slider, expected current, minimum, maximum, step): what the windows show.
        cases = []
        if len(bands) >= 2:
            cases.append(("equalizer band 1", bands[0], 6.0, -12.0, 12.0, 1.0))
            cases.append(("equalizer band 2", bands[1], -4.0, -12.0, 12.0, 1.0))
        else:
            failures.append("found %d equalizer band sliders" % len(bands))
        for name, expected in (("Ratio", (5.0, 1.0, 20.0, 0.1)),
                               ("Attack", (20.0, 1.0, 1000.0, 1.0)),
                               ("Threshold", (-10.0, -30.0, 0.0, 1.0))):
            if name in named:
                cases.append((name,) + (named[name],) + expected)
            else:
                failures.append("no slider named %s among %s" % (name, sorted(named)))
        for name, slider, current, minimum, maximum, step in cases:
            got = numbers(slider)
            want = (current, minimum, maximum, step)
            print("%s: current %g, minimum %g, maximum %g, step %g" % ((name,) + got))
            for label, g, w in zip(("current", "minimum", "maximum", "step"), got, want):
                # The toolkit's bridge may report no step at all (0); anything else must match.
                if label == "step" and g == 0:
                    continue
                if abs(g - w) > 1e-6:
                    failures.append("%s: %s is %g, expected %g" % (name, label, g, w))
        # Setting a value through assistive technology moves the slider to that value.
        if "Ratio" in named:
            named["Ratio"].queryValue().currentValue = 2.5
            deadline = time.time() + 5
            while time.time() < deadline and abs(named["Ratio"].queryValue().currentValue - 2.5) > 1e-6:
                time.sleep(0.1)
            got = named["Ratio"].queryValue().currentValue
            if abs(got - 2.5) > 1e-6:
                failures.append("Ratio set to 2.5 reads %g" % got)
    finally:
        host.stdin.close()
        try:
            host.wait(timeout=10)
        except subprocess.TimeoutExpired:
            host.kill()
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
