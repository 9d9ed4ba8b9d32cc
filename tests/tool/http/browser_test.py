#!/usr/bin/python3
"""The live view in a real browser.

Two modes, one Chromium driver (headless, over the DevTools protocol on a pipe:
--remote-debugging-pipe, so no port and no extra packages):

--driver: live_view_driver (HttpFrontEnd on a free port) publishes a scripted session once the
page has opened its stream; the test waits until the page has taken every line it sent and checks
that the fix status, position and satellite counts shown equal the latest TPV and SKY.

--serve: the real tool, `tolvik serve --replay FILE --http 127.0.0.1:0`, replays the file once,
fast, with the page open. At the end of the file the state is final (serve keeps serving); the
test reads the latest TPV and SKY from /events (and checks them against the gpsd port's ?POLL),
waits until the page shows them and checks position, fix status, satellites, sky plot and signal
bars against them.

Both write a desktop and a phone-sized screenshot into --out. Exits 77 (skipped) when chromium is
missing. Every wait is bounded: the page-side wait is a promise that settles on a DOM change or a
time-out, and reads from the children, sockets and the browser have deadlines.
"""
import argparse
import base64
import json
import os
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

STEP_TIMEOUT_S = 60

MODE_WORDS = {0: "no data", 1: "no fix", 2: "2D fix", 3: "3D fix"}
STATUS_WORDS = {0: "unknown", 1: "GPS", 2: "DGPS", 3: "RTK fixed", 4: "RTK float", 5: "dead reckoning",
                6: "GNSS + dead reckoning", 7: "surveyed time", 8: "simulated", 9: "P(Y)"}

# What the page shows, read from the DOM.
READ_PAGE = """
() => {
  const text = (id) => document.getElementById(id).textContent;
  const sats = [...document.querySelectorAll("#sky .sat")].map((g) =>
    [Number(g.dataset.prn), g.querySelector("circle").getAttribute("fill") !== "#fff"]);
  return {
    received: Number(document.body.dataset.received),
    fix: text("fix"), status: text("status"), lat: text("lat"), lon: text("lon"),
    latdm: text("latdm"), nsat: text("nsat"), nused: text("nused"), time: text("time"),
    hdop: text("hdop"), vdop: text("vdop"), pdop: text("pdop"),
    conn: text("conn"), model: text("model"), skySats: sats.length,
    skyUsed: sats.sort((a, b) => a[0] - b[0]),
    bars: document.querySelectorAll("#snr rect").length,
    barLabels: [...document.querySelectorAll("#snr .bar-label")].map((t) => t.textContent),
    barValues: [...document.querySelectorAll("#snr .bar-value")].map((t) => t.textContent),
    track: text("trackinfo"),
  };
}
"""

# Resolves with what the page shows once `done(shown)` holds (and a frame has been drawn after),
# or rejects after the time-out with what it showed last.
WAIT_AND_READ = """
new Promise((resolve, reject) => {
  const read = %(read)s;
  const done = %(done)s;
  let settled = false;
  const finish = () => requestAnimationFrame(() => requestAnimationFrame(() => {
    const shown = read();
    if (!done(shown)) { settled = false; return; }  // changed again meanwhile: wait on
    observer.disconnect();
    resolve(JSON.stringify(shown));
  }));
  const observer = new MutationObserver(() => {
    if (!settled && done(read())) { settled = true; finish(); }
  });
  observer.observe(document.body, { subtree: true, childList: true, characterData: true, attributes: true });
  if (done(read())) { settled = true; finish(); }
  setTimeout(() => { observer.disconnect(); reject(new Error("the page did not get there; it shows " +
    JSON.stringify(read()))); }, %(timeout)d);
})
"""


class Failure(Exception):
    pass


class LineReader:
    """Lines from a child's output or a socket, with a deadline."""

    def __init__(self, stream, what):
        self.fd = stream.fileno()
        self.what = what
        self.buffer = b""

    def line(self, timeout=STEP_TIMEOUT_S):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise Failure("timed out waiting for %s" % self.what)
            chunk = os.read(self.fd, 65536)
            if not chunk:
                raise Failure("%s ended early" % self.what)
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode().rstrip("\r")


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


class Browser:
    """Headless Chromium with one page, at 1280 x 900 until a screenshot changes that."""

    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="tolvik-chromium-")
        to_browser_r, to_browser_w = os.pipe()
        from_browser_r, from_browser_w = os.pipe()

        def on_pipes():
            # Out of the way first: either end may already sit on 3 or 4.
            read_end, write_end = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--hide-scrollbars", "--remote-debugging-pipe",
             "--user-data-dir=" + self.profile, "about:blank"],
            preexec_fn=on_pipes, pass_fds=(3, 4), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.tools = DevTools(to_browser_w, from_browser_r)
        target = self.tools.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        self.call("Runtime.enable")
        self.call("Page.enable")
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": 1280, "height": 900, "deviceScaleFactor": 1, "mobile": False})

    def call(self, method, params=None):
        return self.tools.call(method, params, self.session)

    def navigate(self, url):
        self.call("Page.navigate", {"url": url})

    def wait_and_read(self, done):
        """What the page shows once the JavaScript predicate `done(shown)` holds."""
        result = self.call("Runtime.evaluate", {
            "expression": WAIT_AND_READ % {"read": READ_PAGE, "done": done, "timeout": STEP_TIMEOUT_S * 1000 // 2},
            "awaitPromise": True, "returnByValue": True})
        if "exceptionDetails" in result:
            raise Failure(result["exceptionDetails"].get("exception", {}).get("description", "page error"))
        shown = json.loads(result["result"]["value"])
        print("page shows: %s" % json.dumps(shown, ensure_ascii=False))
        return shown

    def screenshots(self, out, name):
        os.makedirs(out, exist_ok=True)
        self.screenshot(os.path.join(out, name + ".png"), 1280, 900, 1, False)
        self.screenshot(os.path.join(out, name + "-phone.png"), 390, 844, 2, True)

    def screenshot(self, path, width, height, scale, mobile):
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": scale, "mobile": mobile})
        # Let the page lay out at the new size before measuring it.
        self.call("Runtime.evaluate", {"expression": "new Promise(r => requestAnimationFrame(() => "
                                       "requestAnimationFrame(r)))", "awaitPromise": True})
        size = self.call("Page.getLayoutMetrics")["cssContentSize"]
        shot = self.call("Page.captureScreenshot", {
            "format": "png", "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": width, "height": max(height, size["height"]), "scale": 1}})
        with open(path, "wb") as out:
            out.write(base64.b64decode(shot["data"]))
        print("screenshot: %s" % path)

    def script_errors(self):
        return ["script error: %s" % e["params"]["exceptionDetails"].get("text")
                for e in self.tools.events if e["method"] == "Runtime.exceptionThrown"]

    def close(self):
        if self.process.poll() is None:
            try:
                self.tools.call("Browser.close", timeout=10)
            except Failure:
                pass
        stop(self.process)
        shutil.rmtree(self.profile, ignore_errors=True)


def stop(child, signal_number=None):
    if child.poll() is None:
        if signal_number is None:
            child.kill()
        else:
            child.send_signal(signal_number)
    try:
        child.wait(timeout=10)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()


def shown_degrees(text):
    """'60.3881234° N' -> 60.3881234; 'S' and 'W' negative."""
    number, hemisphere = text.replace("\u00b0", "").split()
    return -float(number) if hemisphere in ("S", "W") else float(number)


def plotted(sky):
    """The satellites the sky plot can place, by PRN: [PRN, used]."""
    sats = [s for s in sky["satellites"] if isinstance(s.get("el"), (int, float)) and s["el"] >= 0
            and isinstance(s.get("az"), (int, float))]
    return sorted([s["PRN"], bool(s.get("used"))] for s in sats)


def shown_time(tpv):
    return tpv["time"].replace("T", " ").replace("Z", " UTC")


def check(shown, tpv, sky, sent=None):
    """What the page shows against the TPV and SKY it was sent last; `sent`: messages, if known."""
    problems = []

    def expect(what, got, want):
        if got != want:
            problems.append("%s: page shows %r, stream sent %r" % (what, got, want))

    def expect_near(what, got, want, half_unit):
        if abs(got - want) > half_unit + 1e-12:
            problems.append("%s: page shows %r, stream sent %r" % (what, got, want))

    if sent is not None:
        expect("messages received", shown["received"], sent)
    expect("fix", shown["fix"], MODE_WORDS[tpv["mode"]])
    expect("status", shown["status"], STATUS_WORDS[tpv.get("status", 1)])
    for name in ("lat", "lon"):
        expect_near(name, shown_degrees(shown[name]), tpv[name], 0.5e-7)  # 7 decimals
    for name in ("hdop", "vdop", "pdop"):
        if name in sky:
            expect_near(name, float(shown[name]), sky[name], 0.005)  # 2 decimals
    expect("satellites in view", shown["nsat"], str(len(sky["satellites"])))
    expect("satellites used", shown["nused"], str(sum(1 for s in sky["satellites"] if s["used"])))
    expect("sky plot satellites (PRN, used)", shown["skyUsed"], plotted(sky))
    expect("signal bars", shown["bars"], len(sky["satellites"]))
    by_prn = sorted(sky["satellites"], key=lambda s: s["PRN"])
    expect("signal bar labels", shown["barLabels"], [str(s["PRN"]) for s in by_prn])
    expect("signal bar values", shown["barValues"],
           [str(int(s["ss"] + 0.5)) for s in by_prn if isinstance(s.get("ss"), (int, float)) and s["ss"] > 0])
    expect("time", shown["time"], shown_time(tpv))
    return problems


def run_driver(args, browser):
    """The page against live_view_driver's scripted session."""
    driver = subprocess.Popen([args.driver] + args.extra, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        from_driver = LineReader(driver.stdout, "the driver")
        port = int(from_driver.line().split()[1])
        browser.navigate("http://127.0.0.1:%d/" % port)

        # The driver publishes once the page has opened its stream.
        tpv = json.loads(from_driver.line().split(" ", 1)[1])
        sky = json.loads(from_driver.line().split(" ", 1)[1])
        sent = int(from_driver.line().split()[1])

        shown = browser.wait_and_read("(shown) => shown.received >= %d" % sent)
        print("latest TPV: lat %r lon %r mode %r status %r" % (tpv.get("lat"), tpv.get("lon"), tpv["mode"],
                                                               tpv.get("status")))
        browser.screenshots(args.out, "live-view")
        problems = check(shown, tpv, sky, sent) + browser.script_errors()
        browser.close()

        driver.stdin.close()
        dropped = from_driver.line()
        if dropped != "dropped 0":
            problems.append("the front end dropped lines: %s" % dropped)
        if problems:
            raise Failure("\n".join(problems))
        print("live view matches the stream: %d messages" % sent)
    finally:
        stop(driver)


def latest_from_events(port):
    """The latest TPV and SKY from /events: a stream that opens after the end of the replay starts
    with them."""
    with socket.create_connection(("127.0.0.1", port), timeout=STEP_TIMEOUT_S) as stream:
        stream.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n")
        lines = LineReader(stream, "the /events stream")
        status = lines.line()
        if not status.startswith("HTTP/1.1 200"):
            raise Failure("/events answered %r" % status)
        latest = {}
        while "TPV" not in latest or "SKY" not in latest:
            line = lines.line()
            if line.startswith("data: "):
                report = json.loads(line[6:])
                latest[report["class"]] = report
        return latest["TPV"], latest["SKY"]


def latest_from_gpsd(port):
    """The latest TPV and SKY by ?POLL on the gpsd-protocol port."""
    with socket.create_connection(("127.0.0.1", port), timeout=STEP_TIMEOUT_S) as client:
        lines = LineReader(client, "the gpsd port")
        client.sendall(b"?POLL;\n")
        while True:
            report = json.loads(lines.line())
            if report["class"] == "POLL":
                return report["tpv"][0], report["sky"][0]


def run_serve(args, browser):
    """The page against the real tool replaying a recording once."""
    config = tempfile.mkdtemp(prefix="tolvik-config-")
    # An empty settings folder: the user's stored baud rates and settings do not leak in.
    env = dict(os.environ, XDG_CONFIG_HOME=config)
    serve = subprocess.Popen([args.serve, "serve", "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0",
                              "--replay", args.replay, "--rate", str(args.rate)],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    try:
        from_serve = LineReader(serve.stderr, "tolvik serve")
        http_line = from_serve.line()
        if "live view on http://" not in http_line:
            raise Failure("serve did not start: %s" % http_line)
        url = http_line.split("live view on ", 1)[1]
        http_port = int(url.rstrip("/").rsplit(":", 1)[1])
        gpsd_port = int(from_serve.line().split(" on ", 1)[1].split()[0].rsplit(":", 1)[1])
        # The replay is running: open the page at once, so it sees the track grow.
        browser.navigate(url)
        while not from_serve.line().startswith("tolvik: end of "):
            pass

        tpv, sky = latest_from_events(http_port)
        polled = latest_from_gpsd(gpsd_port)
        if polled != (tpv, sky):
            raise Failure("/events ends with %r,\nthe gpsd port's ?POLL with %r" % ((tpv, sky), polled))
        print("latest TPV: %s" % json.dumps(tpv))
        print("latest SKY: %d satellites, %d used" % (len(sky["satellites"]), sum(s["used"] for s in sky["satellites"])))

        # The page may still be taking its queued lines: wait until it shows the final TPV and
        # SKY (time, satellites in the plot and in the bars), then check everything against them.
        expected = {"time": shown_time(tpv), "nsat": str(len(sky["satellites"])), "skyUsed": plotted(sky),
                    "barLabels": [str(s["PRN"]) for s in sorted(sky["satellites"], key=lambda s: s["PRN"])]}
        shown = browser.wait_and_read(
            "(shown) => { const want = %s; return Object.keys(want).every((k) => "
            "JSON.stringify(shown[k]) === JSON.stringify(want[k])); }" % json.dumps(expected))
        browser.screenshots(args.out, "live-view-sample")
        problems = check(shown, tpv, sky) + browser.script_errors()
        if shown["conn"] not in ("live", "no fix reports"):
            problems.append("connection badge: %r" % shown["conn"])
        browser.close()

        stop(serve, signal.SIGINT)
        summary = from_serve.buffer.decode() + serve.stderr.read().decode()
        if " 0 reports dropped" not in summary:
            problems.append("serve dropped reports: %s" % summary.strip())
        if problems:
            raise Failure("\n".join(problems))
        print("live view matches the replay's last reports (page took %d messages, track: %s)"
              % (shown["received"], shown["track"]))
    finally:
        stop(serve)
        shutil.rmtree(config, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--driver", help="live_view_driver")
    mode.add_argument("--serve", metavar="TOLVIK", help="the tolvik tool")
    parser.add_argument("--replay", help="--serve: the recording to replay")
    parser.add_argument("--rate", type=float, default=1000, help="--serve: lines per second")
    parser.add_argument("--out", required=True)
    parser.add_argument("--chromium", default="/usr/bin/chromium")
    parser.add_argument("extra", nargs="*", help="--driver: passed to the driver, e.g. --lines FILE")
    args = parser.parse_args()
    if args.serve and not args.replay:
        parser.error("--serve needs --replay")
    if not os.access(args.chromium, os.X_OK):
        print("SKIPPED: %s not found (install the Debian package chromium: scripts/deps)" % args.chromium)
        return 77
    browser = None
    try:
        browser = Browser(args.chromium)
        (run_serve if args.serve else run_driver)(args, browser)
        return 0
    except Failure as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1
    finally:
        if browser:
            browser.close()


if __name__ == "__main__":
    sys.exit(main())
