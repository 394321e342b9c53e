// The package's page reports to the learning platform that shows it (SCORM
// 1.2). It runs before the page's own script: it finds the platform, resumes
// at the slide the learner left (by setting the address to #N, which the page
// opens at), and then hears of every slide shown. The slides seen are kept in
// cmi.suspend_data, one hex digit for four slides (slide 1 is the lowest bit
// of the first digit), so that completion survives leaving and coming back.
// Outside a platform, or with a platform that refuses to start, it does
// nothing; a call the platform refuses later is noted on the console and the
// slide show goes on.
(function () {
  "use strict";
  var slideCount = [[slides]];
  var maxSeen = 4 * 4096;  // suspend_data holds at most 4096 characters

  // The API object in this window or one of its parents, then in the window
  // that opened it and its parents. A parent of another origin throws when
  // read: the search goes on above it.
  function findIn(start) {
    for (var win = start, hops = 0; win && hops < 32; hops++) {
      try {
        if (win.API && typeof win.API.LMSInitialize === "function") return win.API;
      } catch (error) { /* another origin */ }
      var parent = null;
      try { parent = win.parent; } catch (error) { /* none to read */ }
      if (!parent || parent === win) break;
      win = parent;
    }
    return null;
  }
  var api = findIn(window);
  if (!api) {
    try { api = window.opener ? findIn(window.opener) : null; } catch (error) { api = null; }
  }
  if (!api) return;

  function refused(name, argument) {
    var code = "?";
    try { code = String(api.LMSGetLastError()); } catch (error) { /* keep "?" */ }
    if (window.console) console.warn("The learning platform refused " + name + "(" + argument + "), error " + code);
  }
  function call(name, argument, value) {
    try {
      var result = value === undefined ? api[name](argument) : api[name](argument, value);
      if (name === "LMSGetValue") {
        var code = String(api.LMSGetLastError());
        if (code === "0" || code === "") return String(result);
      } else if (result === true || String(result) === "true") {
        return "true";
      }
    } catch (error) { /* counted as refused */ }
    refused(name, argument);
    return null;
  }

  if (call("LMSInitialize", "") === null) return;
  var started = Date.now();
  var status = call("LMSGetValue", "cmi.core.lesson_status") || "";
  var done = status === "completed" || status === "passed";

  var seen = [];
  var kept = call("LMSGetValue", "cmi.suspend_data") || "";
  if (/^[0-9a-f]{1,4096}$/i.test(kept)) {
    for (var digit = 0; digit < kept.length; digit++) {
      var bits = parseInt(kept.charAt(digit), 16);
      for (var bit = 0; bit < 4; bit++) seen[4 * digit + bit] = (bits >> bit & 1) === 1;
    }
  }
  function seenData() {
    var text = "";
    for (var first = 0; first < Math.min(slideCount, maxSeen); first += 4) {
      var bits = 0;
      for (var bit = 0; bit < 4; bit++) if (seen[first + bit]) bits |= 1 << bit;
      text += bits.toString(16);
    }
    return text;
  }
  function allSeen() {
    for (var slide = 0; slide < Math.min(slideCount, maxSeen); slide++) if (!seen[slide]) return false;
    return slideCount > 0;
  }

  if (!done && status !== "incomplete") {
    if (call("LMSSetValue", "cmi.core.lesson_status", "incomplete") !== null) status = "incomplete";
  }

  // The learner comes back where they left, unless the address names a slide.
  var left = call("LMSGetValue", "cmi.core.lesson_location") || "";
  if (!/^#[0-9]{1,5}$/.test(window.location.hash) && /^[0-9]{1,5}$/.test(left) &&
      Number(left) >= 1 && Number(left) <= slideCount) {
    history.replaceState(history.state, "", "#" + Number(left));
  }

  // What changed is sent at most once a second, so a key held down does not
  // flood the platform.
  var shown = 0, sentSlide = 0, sentSeen = seenData(), timer = 0, finished = false;
  function send() {
    timer = 0;
    var changed = false;
    if (shown && shown !== sentSlide && call("LMSSetValue", "cmi.core.lesson_location", String(shown)) !== null) {
      sentSlide = shown;
      changed = true;
    }
    var data = seenData();
    if (data !== sentSeen && call("LMSSetValue", "cmi.suspend_data", data) !== null) {
      sentSeen = data;
      changed = true;
    }
    if (!done && allSeen() && call("LMSSetValue", "cmi.core.lesson_status", "completed") !== null) {
      done = true;
      changed = true;
    }
    if (changed) call("LMSCommit", "");
  }

  window.addEventListener("slideshown", function (event) {
    var slide = Number(event.detail);
    if (finished || !(slide >= 1 && slide <= slideCount)) return;
    shown = slide;
    seen[slide - 1] = true;
    if (!timer) timer = setTimeout(send, 1000);
  });

  function twoDigits(number) { return (number < 10 ? "0" : "") + number; }
  window.addEventListener("pagehide", function () {
    if (finished) return;
    finished = true;
    clearTimeout(timer);
    send();
    var seconds = Math.min((Date.now() - started) / 1000, 9999 * 3600 - 1);
    var hours = Math.floor(seconds / 3600), minutes = Math.floor(seconds / 60) % 60;
    var time = ("000" + hours).slice(-4) + ":" + twoDigits(minutes) + ":" + twoDigits(Math.floor(seconds % 60)) +
        "." + twoDigits(Math.floor(seconds * 100) % 100);
    call("LMSSetValue", "cmi.core.session_time", time);
    call("LMSSetValue", "cmi.core.exit", done ? "" : "suspend");
    call("LMSFinish", "");
  });
})();
