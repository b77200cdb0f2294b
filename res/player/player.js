// The movie player's page: one Ruffle player filling the window, driven by
// the program through zorvaLoad/zorvaPlay/zorvaStop/zorvaUnload and
// answering through the "zorva" object of the web channel.
"use strict";

// Pages of this scheme cannot use fetch() on it in this browser, and Ruffle
// fetches its core with it: route those requests through XMLHttpRequest.
(() => {
  const realFetch = window.fetch.bind(window);
  window.fetch = (input, init) => {
    const url = new URL(input instanceof Request ? input.url : String(input), location.href);
    if (url.protocol !== location.protocol) return realFetch(input, init);
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open("GET", url.href);
      xhr.responseType = "arraybuffer";
      xhr.onload = () => {
        if (xhr.status !== 0 && xhr.status !== 200) {
          reject(new TypeError("cannot load " + url.href));
          return;
        }
        resolve(new Response(xhr.response, {
          status: 200,
          headers: { "Content-Type": xhr.getResponseHeader("Content-Type") || "application/octet-stream" },
        }));
      };
      xhr.onerror = () => reject(new TypeError("cannot load " + url.href));
      xhr.send();
    });
  };
})();

// Ruffle asks for gamepads on every tick, which makes the browser poll for
// them all the time; lesson movies take no gamepad input.
navigator.getGamepads = () => [];

window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {
  publicPath: location.protocol + "//" + location.host + "/",
  polyfills: false,
  autoplay: "on",
  unmuteOverlay: "hidden",
  splashScreen: false,
  contextMenu: "off",
  menu: false,
  warnOnUnsupportedContent: false,
  showSwfDownload: false,
  allowScriptAccess: true,
  upgradeToHttps: false,
  logLevel: "error",
  scale: "showAll",
  quality: "high",
  wmode: "window",
  letterbox: "fullscreen",
};
// Without WebGL (no GPU) Ruffle would try it for every movie before falling
// back to its canvas renderer.
(() => {
  const canvas = document.createElement("canvas");
  if (!canvas.getContext("webgl2") && !canvas.getContext("webgl")) {
    window.RufflePlayer.config.preferredRenderer = "canvas";
  }
})();

const zorva = {
  bridge: null,
  player: null,
  movie: 0,        // the id of the movie shown or on its way
  mode: "",        // "callbacks", "suspend" or "estimate"
  command: 0,      // the program's last Play/StopPlay, echoed in reports
  suspended: false,
  warming: null,   // the warm-up load, which a first movie waits for
  last: { frame: 0, total: 0, playing: false },
};

function report(frame, total, playing) {
  zorva.last = { frame, total, playing };
  if (zorva.bridge) zorva.bridge.report(zorva.movie, zorva.command, frame, total, playing);
}

function ensurePlayer() {
  if (zorva.player) return zorva.player;
  const player = window.RufflePlayer.newest().createPlayer();
  player.onFSCommand = (command, args) => {
    if (command !== "zorva_frame") return false;
    const [id, frame, total, moved] = String(args).split(",");
    if (Number(id) === zorva.movie && !zorva.suspended) report(Number(frame), Number(total), moved === "true");
    return true;
  };
  document.getElementById("stage").appendChild(player);
  // Ruffle shows a play button whenever it is suspended and an unmute
  // overlay when sound waits for a click; the program shows only the movie.
  if (player.shadowRoot) {
    const style = document.createElement("style");
    style.textContent = "#play-button, #unmute-overlay { display: none !important; }";
    player.shadowRoot.appendChild(style);
  }
  zorva.player = player;
  return player;
}

function fetchMovie(id) {
  return new Promise((resolve, reject) => {
    const xhr = new XMLHttpRequest();
    xhr.open("GET", "/movie/" + id);
    xhr.responseType = "arraybuffer";
    xhr.onload = () => (xhr.response ? resolve(new Uint8Array(xhr.response)) : reject(new Error("no movie")));
    xhr.onerror = () => reject(new Error("no movie"));
    xhr.send();
  });
}

// Small movies come inline (base64), larger ones are fetched from the
// scheme.
window.zorvaLoad = async (id, base, play, mode, command, inline) => {
  zorva.movie = id;
  zorva.mode = mode;
  zorva.command = command;
  zorva.last = { frame: 0, total: 0, playing: false };
  try {
    await zorva.warming;
    const data = inline !== undefined ? Uint8Array.from(atob(inline), (c) => c.charCodeAt(0)) : await fetchMovie(id);
    if (zorva.movie !== id) return;
    const player = ensurePlayer();
    if (zorva.suspended) player.ruffle().resume();
    zorva.suspended = false;
    player.style.visibility = "";
    await player.ruffle().load({ data, base });
    if (zorva.movie !== id) return;
    if (!play) zorvaStop(command);
    zorva.bridge.shown(id, command);
  } catch (error) {
    if (zorva.movie === id && zorva.bridge) zorva.bridge.failed(id, String(error));
  }
};

window.zorvaPlay = (command) => {
  zorva.command = command;
  const player = zorva.player;
  if (!player) return;
  if (zorva.suspended) {
    zorva.suspended = false;
    player.ruffle().resume();
  } else if (zorva.mode === "callbacks" && typeof player.zorvaPlay === "function") {
    player.zorvaPlay();
  } else {
    player.ruffle().resume();
  }
  report(zorva.last.frame, zorva.last.total, true);
};

window.zorvaStop = (command) => {
  zorva.command = command;
  const player = zorva.player;
  if (!player) return;
  if (zorva.mode === "callbacks" && typeof player.zorvaStop === "function" && !zorva.suspended) {
    player.zorvaStop();
  } else {
    zorva.suspended = true;
    player.ruffle().suspend();
  }
  report(zorva.last.frame, zorva.last.total, false);
};

// The movie could not be read: nothing is shown.
window.zorvaUnload = () => {
  zorva.movie = -1;
  if (zorva.player) {
    zorva.player.ruffle().suspend();
    zorva.player.style.visibility = "hidden";
  }
};

// Ruffle compiles its core on its first load, which takes seconds: do it
// with an empty one-frame movie as soon as the page is up, so the first
// lesson page does not wait for it.
const kWarmUpMovie = new Uint8Array([
  0x46, 0x57, 0x53, 0x08, 0x19, 0x00, 0x00, 0x00, 0x28, 0x28, 0x0a, 0x00, 0x00, 0x0c, 0x01, 0x00,
  0x43, 0x02, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
]);

async function warmUp() {
  const player = ensurePlayer();
  player.style.visibility = "hidden";
  try {
    await player.ruffle().load({ data: kWarmUpMovie });
    if (zorva.movie === 0) player.ruffle().suspend();
  } catch (error) {
    console.log("warm-up: " + error);
  }
}

window.addEventListener("DOMContentLoaded", () => {
  zorva.warming = warmUp();
  new QWebChannel(qt.webChannelTransport, (channel) => {
    zorva.bridge = channel.objects.zorva;
    zorva.bridge.pageReady();
  });
});
