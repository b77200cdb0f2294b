// The movie player's page: one Ruffle player filling the window. The program
// sends commands through the "command" signal of the web channel's "zorva"
// object and the page answers through its "post" method; both carry objects
// whose "type" names the message.
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
// The program names the renderer where it chooses one (the canvas renderer
// on a machine without a GPU). Elsewhere Ruffle picks its best, but where
// WebGL turns out missing it would try it for every movie before falling
// back to its canvas renderer.
(() => {
  const renderer = new URLSearchParams(location.search).get("renderer");
  if (renderer) {
    window.RufflePlayer.config.preferredRenderer = renderer;
    return;
  }
  const canvas = document.createElement("canvas");
  if (!canvas.getContext("webgl2") && !canvas.getContext("webgl")) {
    window.RufflePlayer.config.preferredRenderer = "canvas";
  }
})();

const zorva = {
  bridge: null,
  player: null,
  movie: 0,        // the id of the movie shown or on its way
  control: "",     // "callbacks", "suspend" or "estimate"
  command: 0,      // the program's last Play/StopPlay, echoed in reports
  suspended: false,
  warming: null,   // the warm-up load, which a first movie waits for
  last: { frame: 0, total: 0, playing: false },
};

function post(message) {
  if (zorva.bridge) zorva.bridge.post(message);
}

function report(frame, total, playing) {
  zorva.last = { frame, total, playing };
  post({ type: "report", movie: zorva.movie, command: zorva.command, frame, total, playing });
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

function fetchMovie(url) {
  return new Promise((resolve, reject) => {
    const xhr = new XMLHttpRequest();
    xhr.open("GET", url);
    xhr.responseType = "arraybuffer";
    xhr.onload = () => (xhr.response && (xhr.status === 0 || xhr.status === 200) ? resolve(new Uint8Array(xhr.response)) : reject(new Error("no movie")));
    xhr.onerror = () => reject(new Error("no movie"));
    xhr.send();
  });
}

function stop(command) {
  zorva.command = command;
  const player = zorva.player;
  if (!player) return;
  if (zorva.control === "callbacks" && typeof player.zorvaStop === "function" && !zorva.suspended) {
    player.zorvaStop();
  } else {
    zorva.suspended = true;
    player.ruffle().suspend();
  }
  report(zorva.last.frame, zorva.last.total, false);
}

function play(command) {
  zorva.command = command;
  const player = zorva.player;
  if (!player) return;
  if (zorva.suspended) {
    zorva.suspended = false;
    player.ruffle().resume();
  } else if (zorva.control === "callbacks" && typeof player.zorvaPlay === "function") {
    player.zorvaPlay();
  } else {
    player.ruffle().resume();
  }
  report(zorva.last.frame, zorva.last.total, true);
}

// The program serves the movie's bytes, with the probe already in them, at
// message.url.
async function load(message) {
  const id = message.movie;
  zorva.movie = id;
  zorva.control = message.control;
  zorva.command = message.command;
  zorva.last = { frame: 0, total: 0, playing: false };
  try {
    await zorva.warming;
    const data = await fetchMovie(message.url);
    if (zorva.movie !== id) return;
    const player = ensurePlayer();
    if (zorva.suspended) player.ruffle().resume();
    zorva.suspended = false;
    player.style.visibility = "";
    await player.ruffle().load({ data, base: message.base });
    if (zorva.movie !== id) return;
    if (!message.play) stop(message.command);
    post({ type: "shown", movie: id, command: message.command });
  } catch (error) {
    if (zorva.movie === id) post({ type: "failed", movie: id, why: String(error) });
  }
}

// The movie could not be read: nothing is shown.
function unload() {
  zorva.movie = -1;
  if (zorva.player) {
    zorva.player.ruffle().suspend();
    zorva.player.style.visibility = "hidden";
  }
}

function receive(message) {
  switch (message.type) {
    case "load":
      load(message);
      break;
    case "play":
      play(message.command);
      break;
    case "stop":
      stop(message.command);
      break;
    case "unload":
      unload();
      break;
  }
}

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
    zorva.bridge.command.connect(receive);
    post({ type: "ready" });
  });
});
