// Live view of a Tolvik receiver: reads the report stream at /events (gpsd TPV and SKY objects
// and the TOLVIK status object) and draws them. Plain DOM and SVG; nothing is fetched from
// elsewhere.
"use strict";

const TRACK_LIMIT = 5000;      // fixes kept for the track
const STALE_AFTER_MS = 5000;   // no TPV for this long marks the view stale
const SVG_NS = "http://www.w3.org/2000/svg";

// gpsd TPV "mode" and "status" in words.
const MODE_WORDS = { 0: "no data", 1: "no fix", 2: "2D fix", 3: "3D fix" };
const STATUS_WORDS = {
  0: "unknown", 1: "GPS", 2: "DGPS", 3: "RTK fixed", 4: "RTK float", 5: "dead reckoning",
  6: "GNSS + dead reckoning", 7: "surveyed time", 8: "simulated", 9: "P(Y)",
};
const COMPASS = ["N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE", "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"];

const $ = (id) => document.getElementById(id);
const state = { tpv: null, sky: null, track: [], origin: null, lastTpvAt: 0, dirty: false };

function setText(id, text) {
  const el = $(id);
  if (el.textContent !== text) el.textContent = text;
}
// A file or device path, with line breaks allowed after its slashes only (a long replay path
// in a narrow column would otherwise break inside a name).
function setPath(id, path) {
  const el = $(id);
  if (el.textContent === path) return;
  const parts = path.split("/");
  el.replaceChildren(...parts.flatMap((part, i) =>
    i + 1 < parts.length ? [part + "/", document.createElement("wbr")] : [part]));
}
const isNum = (v) => typeof v === "number" && Number.isFinite(v);
const fixed = (v, digits, unit = "") => (isNum(v) ? v.toFixed(digits) + unit : "\u2013");

function degrees(value, positive, negative) {
  return Math.abs(value).toFixed(7) + "\u00b0 " + (value < 0 ? negative : positive);
}
function degreesMinutes(value, positive, negative) {
  const abs = Math.abs(value);
  let deg = Math.floor(abs);
  let min = (abs - deg) * 60;
  if (Number(min.toFixed(4)) >= 60) { deg += 1; min = 0; }
  return deg + "\u00b0 " + min.toFixed(4) + "\u2032 " + (value < 0 ? negative : positive);
}

// ---- reports ----

function onTpv(tpv) {
  state.tpv = tpv;
  state.lastTpvAt = Date.now();
  const mode = isNum(tpv.mode) ? tpv.mode : 0;
  setText("fix", MODE_WORDS[mode] || "mode " + mode);
  $("fix").className = "fix " + (mode >= 3 ? "f3d" : mode === 2 ? "f2d" : "none");
  setText("status", mode >= 2 ? (STATUS_WORDS[isNum(tpv.status) ? tpv.status : 1] || "status " + tpv.status) : "\u2013");
  setText("time", tpv.time ? tpv.time.replace("T", " ").replace(/(\.\d+)?Z$/, (m, f) => (f || "") + " UTC") : "\u2013");
  const hasPos = mode >= 2 && isNum(tpv.lat) && isNum(tpv.lon);
  setText("lat", hasPos ? degrees(tpv.lat, "N", "S") : "\u2013");
  setText("latdm", hasPos ? degreesMinutes(tpv.lat, "N", "S") : "");
  setText("lon", hasPos ? degrees(tpv.lon, "E", "W") : "\u2013");
  setText("londm", hasPos ? degreesMinutes(tpv.lon, "E", "W") : "");
  const alt = isNum(tpv.altMSL) ? tpv.altMSL : isNum(tpv.altHAE) ? tpv.altHAE : tpv.alt;
  setText("alt", mode >= 3 ? fixed(alt, 1, " m") : "\u2013");
  setText("speed", isNum(tpv.speed) ? tpv.speed.toFixed(2) + " m/s (" + (tpv.speed * 3.6).toFixed(1) + " km/h)" : "\u2013");
  setText("course", isNum(tpv.track) ? tpv.track.toFixed(1) + "\u00b0 " + COMPASS[Math.round(tpv.track / 22.5) % 16] : "\u2013");
  takeDops(tpv);
  if (hasPos) addTrackPoint(tpv.lat, tpv.lon);
}

function onSky(sky) {
  state.sky = sky;
  const sats = Array.isArray(sky.satellites) ? sky.satellites : [];
  setText("nsat", String(sats.length));
  setText("nused", String(sats.filter((s) => s.used).length));
  takeDops(sky);
  state.dirty = true;
}

// gpsd sends the DOPs in SKY; a producer may add them to TPV as well. The latest wins.
function takeDops(report) {
  for (const name of ["hdop", "vdop", "pdop"]) {
    if (isNum(report[name])) setText(name, report[name].toFixed(2));
  }
}

function onStatus(st) {
  setText("model", st.model || "\u2013");
  setPath("device", st.device || "\u2013");
  setText("bps", isNum(st.bps) ? st.bps + " bps" : "\u2013");
  setText("rate", isNum(st.msgRate) ? st.msgRate.toFixed(1) + " /s" : "\u2013");
  setText("cksum", isNum(st.checksumErrors) ? String(st.checksumErrors) : "\u2013");
  setText("overflows", isNum(st.overflows) ? String(st.overflows) : "\u2013");
  const settings = {
    elevmask: isNum(st.elevMask) ? st.elevMask + "\u00b0" : null,
    dgps: typeof st.dgpsMode === "string" ? st.dgpsMode : null,
    beacon: st.beacon ? beaconText(st.beacon) : null,
  };
  let any = false;
  for (const [id, text] of Object.entries(settings)) {
    const shown = text !== null;
    any = any || shown;
    $(id).hidden = !shown;
    document.querySelector('dt[data-for="' + id + '"]').hidden = !shown;
    if (shown) setText(id, text);
  }
  $("settings").hidden = !any;
  $("settings-title").hidden = !any;
}

function beaconText(b) {
  const parts = [];
  if (isNum(b.frequency)) parts.push(b.frequency.toFixed(1) + " kHz");
  if (isNum(b.bitRate)) parts.push(b.bitRate + " bps");
  if (typeof b.autoTune === "boolean") parts.push(b.autoTune ? "automatic" : "manual");
  if (isNum(b.strength)) parts.push("strength " + b.strength);
  if (isNum(b.snr)) parts.push("SNR " + b.snr);
  return parts.length ? parts.join(", ") : "reported";
}

// ---- track in metres east and north of the first fix ----

// Metres per radian of latitude and of longitude at a latitude (WGS 84 radii of curvature).
function metresPerRadian(latRad) {
  const a = 6378137.0, e2 = 6.69437999014e-3;
  const w = 1 - e2 * Math.sin(latRad) ** 2;
  return { north: (a * (1 - e2)) / (w * Math.sqrt(w)), east: (a / Math.sqrt(w)) * Math.cos(latRad) };
}

function addTrackPoint(lat, lon) {
  const rad = Math.PI / 180;
  if (!state.origin) state.origin = { lat, lon, scale: metresPerRadian(lat * rad) };
  const o = state.origin;
  state.track.push([(lon - o.lon) * rad * o.scale.east, (lat - o.lat) * rad * o.scale.north]);
  if (state.track.length > TRACK_LIMIT) state.track.splice(0, state.track.length - TRACK_LIMIT);
  state.dirty = true;
}

function niceLength(metres) {
  const p = Math.pow(10, Math.floor(Math.log10(metres)));
  for (const f of [5, 2, 1]) if (f * p <= metres) return f * p;
  return p;
}

function el(name, attrs, text) {
  const node = document.createElementNS(SVG_NS, name);
  for (const [k, v] of Object.entries(attrs)) node.setAttribute(k, v);
  if (text !== undefined) node.textContent = text;
  return node;
}

function drawTrack() {
  const svg = $("track");
  // Drawn at the size shown, so text and the scale bar stay readable on a phone.
  const W = Math.round(svg.getBoundingClientRect().width) || 900;
  const H = Math.max(240, Math.min(440, Math.round(W * 0.47))), pad = 24;
  const padRight = 44;  // the north arrow's column: the track never runs under it
  svg.setAttribute("viewBox", `0 0 ${W} ${H}`);
  const nodes = [];
  const pts = state.track;
  setText("trackinfo", pts.length ? pts.length + (pts.length === 1 ? " fix" : " fixes") : "");
  if (!pts.length) {
    nodes.push(el("text", { x: W / 2, y: H / 2, class: "empty" }, "waiting for a fix"));
    svg.replaceChildren(...nodes);
    return;
  }
  let minE = Infinity, maxE = -Infinity, minN = Infinity, maxN = -Infinity;
  for (const [e, n] of pts) {
    if (e < minE) minE = e; if (e > maxE) maxE = e;
    if (n < minN) minN = n; if (n > maxN) maxN = n;
  }
  const spanE = Math.max(maxE - minE, 2), spanN = Math.max(maxN - minN, 2);
  const k = Math.min((W - pad - padRight) / spanE, (H - 2 * pad) / spanN);  // pixels per metre
  const cx = (minE + maxE) / 2, cy = (minN + maxN) / 2;
  const mid = (pad + W - padRight) / 2;  // the middle of the plotted part
  const px = (e) => mid + (e - cx) * k, py = (n) => H / 2 - (n - cy) * k;
  // Grid lines at the scale bar's spacing.
  const step = niceLength((W - pad - padRight) / k / 4);
  for (let g = Math.ceil((cx - mid / k) / step) * step; g <= cx + (W - mid) / k; g += step) {
    nodes.push(el("line", { x1: px(g), x2: px(g), y1: 0, y2: H, class: "grid" }));
  }
  for (let g = Math.ceil((cy - H / 2 / k) / step) * step; g <= cy + H / 2 / k; g += step) {
    nodes.push(el("line", { x1: 0, x2: W, y1: py(g), y2: py(g), class: "grid" }));
  }
  const d = pts.map(([e, n], i) => (i ? "L" : "M") + px(e).toFixed(1) + " " + py(n).toFixed(1)).join("");
  nodes.push(el("path", { d, class: "track-line" }));
  nodes.push(el("circle", { cx: px(0), cy: py(0), r: 4, class: "track-start" }));
  const [le, ln] = pts[pts.length - 1];
  nodes.push(el("circle", { cx: px(le), cy: py(ln), r: 5, class: "track-here" }));
  // Scale bar, bottom left; north arrow, top right.
  const barPx = step * k;
  nodes.push(el("path", { d: `M12 ${H - 18}v6h${barPx}v-6`, class: "scale" }));
  nodes.push(el("text", { x: 12 + barPx + 6, y: H - 11, class: "scale-text" }, formatMetres(step)));
  nodes.push(el("text", { x: W - 16, y: 14, class: "axis-label" }, "N"));
  nodes.push(el("path", { d: `M${W - 16} 22l-5 12h10z`, fill: "currentColor" }));
  svg.replaceChildren(...nodes);
}

function formatMetres(m) {
  return m >= 1000 ? m / 1000 + " km" : m >= 1 ? m + " m" : m * 100 + " cm";
}

// ---- sky plot and signal bars ----

function snrClass(ss) {
  return !isNum(ss) || ss <= 0 ? "#8c959f" : ss < 25 ? "#cf222e" : ss < 35 ? "#bf8700" : "#1a7f37";
}

function drawSky() {
  const svg = $("sky");
  const R = 100;
  const nodes = [];
  for (const e of [0, 30, 60]) nodes.push(el("circle", { cx: 0, cy: 0, r: (R * (90 - e)) / 90, class: "grid" }));
  nodes.push(el("path", { d: `M${-R} 0H${R}M0 ${-R}V${R}`, class: "grid" }));
  for (const [t, x, y] of [["N", 0, -R - 10], ["E", R + 10, 0], ["S", 0, R + 10], ["W", -R - 10, 0]]) {
    nodes.push(el("text", { x, y, class: "axis-label" }, t));
  }
  for (const e of [30, 60]) {
    const r = (R * (90 - e)) / 90;
    nodes.push(el("text", { x: r * 0.707 + 3, y: r * 0.707 + 5, class: "axis-label", "text-anchor": "start" }, e + "\u00b0"));
  }
  const sats = state.sky && Array.isArray(state.sky.satellites) ? state.sky.satellites : [];
  for (const s of sats) {
    if (!isNum(s.el) || !isNum(s.az) || s.el < 0) continue;
    const r = (R * (90 - s.el)) / 90, a = (s.az * Math.PI) / 180;
    const x = r * Math.sin(a), y = -r * Math.cos(a);
    const colour = snrClass(s.ss);
    const g = el("g", { class: "sat", "data-prn": s.PRN });
    g.appendChild(el("circle", { cx: x, cy: y, r: 9, fill: s.used ? colour : "#fff", stroke: colour }));
    g.appendChild(el("text", { x, y, fill: s.used ? "#fff" : colour }, String(s.PRN)));
    nodes.push(g);
  }
  svg.replaceChildren(...nodes);
}

function drawSnr() {
  const svg = $("snr");
  const sats = state.sky && Array.isArray(state.sky.satellites) ? [...state.sky.satellites] : [];
  sats.sort((a, b) => a.PRN - b.PRN);
  // Drawn at the size shown, so the labels keep their proportions.
  const W = Math.max(Math.round(svg.getBoundingClientRect().width) || 400, sats.length * 22), H = 220;
  const top = 14, bottom = 18, max = 55;
  svg.setAttribute("viewBox", `0 0 ${W} ${H}`);
  const nodes = [];
  for (const v of [10, 20, 30, 40, 50]) {
    const y = H - bottom - ((H - top - bottom) * v) / max;
    nodes.push(el("line", { x1: 0, x2: W, y1: y, y2: y, class: "grid" }));
  }
  if (!sats.length) nodes.push(el("text", { x: W / 2, y: H / 2, class: "empty" }, "no satellites reported"));
  const slot = W / Math.max(sats.length, 1);
  sats.forEach((s, i) => {
    const ss = isNum(s.ss) ? Math.max(0, s.ss) : 0;
    const h = ((H - top - bottom) * Math.min(ss, max)) / max;
    const x = i * slot + slot * 0.18, w = slot * 0.64, colour = snrClass(s.ss);
    nodes.push(el("rect", { x, y: H - bottom - h, width: w, height: Math.max(h, 1), rx: 2,
      fill: s.used ? colour : "none", stroke: colour, "stroke-width": 1.5 }));
    nodes.push(el("text", { x: x + w / 2, y: H - 4, class: "bar-label" }, String(s.PRN)));
    if (ss > 0) nodes.push(el("text", { x: x + w / 2, y: H - bottom - h - 3, class: "bar-value" }, String(Math.round(ss))));
  });
  svg.replaceChildren(...nodes);
}

// ---- stream ----

function render() {
  if (state.dirty) {
    state.dirty = false;
    drawSky();
    drawSnr();
    drawTrack();
  }
  requestAnimationFrame(render);
}

function connect() {
  const conn = $("conn");
  const source = new EventSource("events");
  source.onopen = () => { conn.textContent = "live"; conn.className = "badge live"; };
  source.onerror = () => { conn.textContent = "reconnecting"; conn.className = "badge off"; };
  source.onmessage = (event) => {
    document.body.dataset.received = String(Number(document.body.dataset.received) + 1);
    let report;
    try { report = JSON.parse(event.data); } catch (e) { return; }
    if (report.class === "TPV") onTpv(report);
    else if (report.class === "SKY") onSky(report);
    else if (report.class === "TOLVIK") onStatus(report);
  };
}

window.addEventListener("resize", () => { state.dirty = true; });

setInterval(() => {
  const conn = $("conn");
  if (conn.classList.contains("live") || conn.classList.contains("stale")) {
    const stale = state.lastTpvAt && Date.now() - state.lastTpvAt > STALE_AFTER_MS;
    conn.textContent = stale ? "no fix reports" : "live";
    conn.className = "badge " + (stale ? "stale" : "live");
  }
}, 1000);

state.dirty = true;
requestAnimationFrame(render);
connect();
