#!/usr/bin/python3
"""The live view in a real browser.

Starts live_view_driver (HttpFrontEnd on a free port), opens its page in headless Chromium,
driven over the DevTools protocol on a pipe (--remote-debugging-pipe: no port, no extra
packages), waits until the page has taken every line the driver sent, and checks that the fix
status, position and satellite counts shown equal the latest TPV and SKY of the stream. Writes a
desktop and a phone-sized screenshot into --out. Exits 77 (skipped) when chromium is missing.

Every wait is bounded: the page-side wait is a promise that settles on a DOM change or a
time-out, and reads from the driver and the browser have deadlines.
"""
import argparse
import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT_S = 60

MODE_WORDS = {0: "no data", 1: "no fix", 2: "2D fix", 3: "3D fix"}
STATUS_WORDS = {0: "unknown", 1: "GPS", 2: "DGPS", 3: "RTK fixed", 4: "RTK float", 5: "dead reckoning",
                6: "GNSS + dead reckoning", 7: "surveyed time", 8: "simulated", 9: "P(Y)"}

# Resolves when the page has counted `expected` stream messages (and drawn a frame after), or
# rejects after the time-out; then returns what the page shows.
WAIT_AND_READ = """
new Promise((resolve, reject) => {
  const expected = %d;
  const done = () => Number(document.body.dataset.received) >= expected;
  const read = () => requestAnimationFrame(() => requestAnimationFrame(() => {
    const text = (id) => document.getElementById(id).textContent;
    resolve(JSON.stringify({
      received: Number(document.body.dataset.received),
      fix: text("fix"), status: text("status"), lat: text("lat"), lon: text("lon"),
      latdm: text("latdm"), nsat: text("nsat"), nused: text("nused"), time: text("time"),
      conn: text("conn"), model: text("model"), skySats: document.querySelectorAll("#sky .sat").length,
      bars: document.querySelectorAll("#snr rect").length, track: text("trackinfo"),
    }));
  }));
  if (done()) { read(); return; }
  const observer = new MutationObserver(() => { if (done()) { observer.disconnect(); read(); } });
  observer.observe(document.body, { attributes: true, attributeFilter: ["data-received"] });
  setTimeout(() => { observer.disconnect(); reject(new Error("page received only " +
    document.body.dataset.received + " of " + expected + " messages")); }, %d);
})
"""


class Failure(Exception):
    pass


class LineReader:
    """Lines from a child's stdout with a deadline."""

    def __init__(self, stream):
        self.fd = stream.fileno()
        self.buffer = b""

    def line(self, timeout=STEP_TIMEOUT_S):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise Failure("timed out waiting for the driver")
            chunk = os.read(self.fd, 65536)
            if not chunk:
                raise Failure("the driver ended early")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()


class DevTools:
    """The DevTools protocol over Chromium's pipe: NUL-terminated JSON messages on fds 3 and 4."""

    def __init__(self, to_browser, from_browser):
        self.to_browser = to_browser
        self.from_browser = from_browser
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def call(self, method, params=None, session=None, timeout=STEP_TIMEOUT_S):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._receive(deadline, method)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure("%s: %s" % (method, reply["error"]))
                return reply["result"]
            if "method" in reply:
                self.events.append(reply)

    def _receive(self, deadline, method):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise Failure("timed out waiting for the browser (%s)" % method)
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise Failure("the browser closed its pipe (%s)" % method)
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)


def shown_degrees(text):
    """'60.3881234° N' -> 60.3881234; 'S' and 'W' negative."""
    number, hemisphere = text.replace("\u00b0", "").split()
    return -float(number) if hemisphere in ("S", "W") else float(number)


def check(shown, tpv, sky, sent):
    problems = []

    def expect(what, got, want):
        if got != want:
            problems.append("%s: page shows %r, stream sent %r" % (what, got, want))

    expect("messages received", shown["received"], sent)
    expect("fix", shown["fix"], MODE_WORDS[tpv["mode"]])
    expect("status", shown["status"], STATUS_WORDS[tpv.get("status", 1)])
    for name in ("lat", "lon"):
        # Shown with 7 decimals: within half a unit of the last place.
        if abs(shown_degrees(shown[name]) - tpv[name]) > 0.5e-7 + 1e-12:
            problems.append("%s: page shows %r, stream sent %r" % (name, shown[name], tpv[name]))
    expect("satellites in view", shown["nsat"], str(len(sky["satellites"])))
    expect("satellites used", shown["nused"], str(sum(1 for s in sky["satellites"] if s["used"])))
    expect("sky plot satellites", shown["skySats"], len(sky["satellites"]))
    expect("signal bars", shown["bars"], len(sky["satellites"]))
    expect("time", shown["time"], tpv["time"].replace("T", " ").replace("Z", " UTC"))
    return problems


def screenshot(tools, session, path, width, height, scale, mobile):
    tools.call("Emulation.setDeviceMetricsOverride",
               {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile}, session)
    # Let the page lay out at the new size before measuring it.
    tools.call("Runtime.evaluate", {"expression": "new Promise(r => requestAnimationFrame(() => "
                                    "requestAnimationFrame(r)))", "awaitPromise": True}, session)
    size = tools.call("Page.getLayoutMetrics", {}, session)["cssContentSize"]
    shot = tools.call("Page.captureScreenshot", {
        "format": "png", "captureBeyondViewport": True,
        "clip": {"x": 0, "y": 0, "width": width, "height": max(height, size["height"]), "scale": 1}}, session)
    with open(path, "wb") as out:
        out.write(base64.b64decode(shot["data"]))
    print("screenshot: %s" % path)


def run(args):
    driver = subprocess.Popen([args.driver] + args.driver_args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    browser = None
    profile = tempfile.mkdtemp(prefix="tolvik-chromium-")
    try:
        from_driver = LineReader(driver.stdout)
        port = int(from_driver.line().split()[1])
        url = "http://127.0.0.1:%d/" % port

        to_browser_r, to_browser_w = os.pipe()
        from_browser_r, from_browser_w = os.pipe()

        def on_pipes():
            # Out of the way first: either end may already sit on 3 or 4.
            read_end, write_end = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        browser = subprocess.Popen(
            [args.chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--hide-scrollbars", "--remote-debugging-pipe",
             "--user-data-dir=" + profile, "about:blank"],
            preexec_fn=on_pipes, pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        tools = DevTools(to_browser_w, from_browser_r)

        target = tools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        tools.call("Runtime.enable", {}, session)
        tools.call("Page.enable", {}, session)
        tools.call("Emulation.setDeviceMetricsOverride",
                   {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False}, session)
        tools.call("Page.navigate", {"url": url}, session)

        # The driver publishes once the page has opened its stream.
        tpv = json.loads(from_driver.line().split(" ", 1)[1])
        sky = json.loads(from_driver.line().split(" ", 1)[1])
        sent = int(from_driver.line().split()[1])

        result = tools.call("Runtime.evaluate", {
            "expression": WAIT_AND_READ % (sent, STEP_TIMEOUT_S * 1000 // 2),
            "awaitPromise": True, "returnByValue": True}, session)
        if "exceptionDetails" in result:
            raise Failure(result["exceptionDetails"].get("exception", {}).get("description", "page error"))
        shown = json.loads(result["result"]["value"])
        print("page shows: %s" % json.dumps(shown, ensure_ascii=False))
        print("latest TPV: lat %r lon %r mode %r status %r" % (tpv.get("lat"), tpv.get("lon"), tpv["mode"],
                                                               tpv.get("status")))

        os.makedirs(args.out, exist_ok=True)
        screenshot(tools, session, os.path.join(args.out, "live-view.png"), 1280, 900, 1, False)
        screenshot(tools, session, os.path.join(args.out, "live-view-phone.png"), 390, 844, 2, True)

        problems = check(shown, tpv, sky, sent)
        errors = [e for e in tools.events if e["method"] == "Runtime.exceptionThrown"]
        problems += ["script error: %s" % e["params"]["exceptionDetails"].get("text") for e in errors]
        try:
            tools.call("Browser.close", timeout=10)
        except Failure:
            pass

        driver.stdin.close()
        dropped = from_driver.line()
        if dropped != "dropped 0":
            problems.append("the front end dropped lines: %s" % dropped)
        if problems:
            raise Failure("\n".join(problems))
        print("live view matches the stream: %d messages" % sent)
        return 0
    finally:
        for child in (browser, driver):
            if child and child.poll() is None:
                child.kill()
            if child:
                child.wait()
        shutil.rmtree(profile, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("driver_args", nargs="*", help="passed to the driver, e.g. --lines FILE")
    args = parser.parse_args()
    if not os.access(args.chromium, os.X_OK):
        print("SKIPPED: %s not found (install the Debian package chromium: scripts/deps)" % args.chromium)
        return 77
    try:
        return run(args)
    except Failure as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
