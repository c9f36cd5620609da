#!/usr/bin/env bash
# Writes the demo flight's page: make_page.sh STEPS_JS FRAMES_DIR OUT_HTML.
# STEPS_JS is what flight.awk wrote; FRAMES_DIR holds frame-<crc>.png for the
# crcs the steps name. One self-contained file: the frames are data: URIs, the
# style and the player are inline, nothing is fetched.
set -eu
steps_js=$1
frames=$2
out=$3

{
    cat <<'HEAD'
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Aviaro: the demo flight</title>
<style>
body { font-family: sans-serif; background: #1b1e24; color: #dde; margin: 1.5em; }
h1 { font-size: 1.3em; margin: 0 0 .5em; }
#controls button { font-size: 1em; margin-right: .3em; }
#where { margin: .6em 0; min-height: 2.6em; }
#cause { color: #ffd060; }
.devices { display: flex; flex-wrap: wrap; gap: 1.2em; align-items: flex-start; }
.device { background: #2a2e36; padding: .6em; border-radius: 6px; border: 2px solid transparent; }
.device.changed { border-color: #ffd060; }
.device h2 { font-size: .9em; margin: 0 0 .4em; font-weight: normal; color: #aab; }
#tarvex pre { font-family: monospace; font-size: 1.2em; background: #0b1a0b; color: #8f8;
  margin: 0; padding: .4em; white-space: pre; line-height: 1.3; }
.mira img { width: 320px; height: 240px; display: block; background: #000; image-rendering: pixelated; }
.crc { font-family: monospace; font-size: .8em; color: #889; }
#panels pre { font-family: monospace; margin: 0; white-space: pre; }
#log { font-size: .85em; max-height: 18em; overflow-y: auto; margin-top: 1em; padding-left: 2.5em; }
#log li { cursor: pointer; }
#log li.current { background: #3a4050; }
.script-error { color: #f66; font-weight: bold; }
</style>
</head>
<body>
<h1>Aviaro: the demo flight, as the devices showed it</h1>
<div id="controls">
<button id="first" type="button">&#x00AB; first</button>
<button id="back" type="button">&#x25C0; step</button>
<button id="play" type="button">&#x25B6; play</button>
<button id="next" type="button">step &#x25B6;</button>
<button id="last" type="button">last &#x00BB;</button>
<input id="slider" type="range" min="0" value="0">
</div>
<div id="where">step <span id="number"></span> of <span id="count"></span>,
<span id="time"></span> s: <span id="cause"></span></div>
<div class="devices">
<div class="device" id="tarvex"><h2>joystick display (page <span id="tarvex-page"></span>)</h2><pre id="tarvex-lines"></pre></div>
<div class="device mira" id="mira2"><h2>Mira 2 <span class="crc" id="mira2-crc"></span></h2><img id="mira2-img" alt="Mira 2"></div>
<div class="device mira" id="mira3"><h2>Mira 3 <span class="crc" id="mira3-crc"></span></h2><img id="mira3-img" alt="Mira 3"></div>
<div class="device" id="panels"><h2>HID panels</h2><pre id="panel-lines"></pre></div>
</div>
<ol id="log" start="0"></ol>
<script>
window.onerror = function (message, source, line) {
  var p = document.createElement("p");
  p.className = "script-error";
  p.textContent = "script error: " + message + " (line " + line + ")";
  document.body.appendChild(p);
};
</script>
<script>
HEAD
    cat "$steps_js"
    echo "var frames = {"
    for f in "$frames"/frame-*.png; do
        [ -e "$f" ] || continue
        crc=${f##*/frame-}
        crc=${crc%.png}
        printf '"%s": "data:image/png;base64,%s",\n' "$crc" "$(base64 -w0 "$f")"
    done
    echo "};"
    cat <<'TAIL'
(function () {
  var at = 0, timer = null;
  function $(id) { return document.getElementById(id); }
  var log = $("log");
  function deviceName(what) {
    if (what === "tarvex") return "joystick display";
    if (what.indexOf("mira") === 0) return "Mira " + what.substring(4);
    return what.replace(/^panel-(.*)$/, "$1 panel");
  }
  steps.forEach(function (s, i) {
    var li = document.createElement("li");
    li.textContent = s.t + " s: " + s.cause + " \u2192 " + deviceName(s.what);
    li.onclick = function () { stop(); show(i); };
    log.appendChild(li);
  });
  $("count").textContent = steps.length - 1;
  $("slider").max = steps.length - 1;
  function show(i) {
    var s = steps[i];
    at = i;
    $("number").textContent = i;
    $("time").textContent = s.t;
    $("cause").textContent = s.cause;
    $("tarvex-page").textContent = s.tarvexPage;
    $("tarvex-lines").textContent = "|" + s.tarvex.join("|\n|") + "|";
    [2, 3].forEach(function (d) {
      var crc = s.mira[d - 2];
      $("mira" + d + "-crc").textContent = crc;
      if (crc && frames[crc]) $("mira" + d + "-img").src = frames[crc];
      else $("mira" + d + "-img").removeAttribute("src");
    });
    var names = Object.keys(s.panels);
    $("panels").style.display = names.length ? "" : "none";
    $("panel-lines").textContent = names.map(function (n) { return n + "  " + s.panels[n]; }).join("\n");
    ["tarvex", "mira2", "mira3"].forEach(function (d) {
      $(d).classList.toggle("changed", s.what === d);
    });
    $("panels").classList.toggle("changed", s.what.indexOf("panel") === 0);
    $("slider").value = i;
    Array.prototype.forEach.call(log.children, function (li, k) {
      li.className = k === i ? "current" : "";
    });
    document.body.dataset.step = i === steps.length - 1 ? "last" : String(i);
  }
  function stop() { if (timer) { clearInterval(timer); timer = null; } }
  function play(interval) {
    stop();
    timer = setInterval(function () {
      if (at >= steps.length - 1) { stop(); return; }
      show(at + 1);
    }, interval);
  }
  $("first").onclick = function () { stop(); show(0); };
  $("back").onclick = function () { stop(); if (at > 0) show(at - 1); };
  $("next").onclick = function () { stop(); if (at < steps.length - 1) show(at + 1); };
  $("last").onclick = function () { stop(); show(steps.length - 1); };
  $("play").onclick = function () { if (at >= steps.length - 1) show(0); play(700); };
  $("slider").oninput = function () { stop(); show(Number(this.value)); };
  // On load: the first step, then once through the flight to the last.
  show(0);
  play(120);
})();
</script>
</body>
</html>
TAIL
} >"$out"
