// The page shows; the service computes. Every text from a job goes in as
// text (textContent), never as markup.
"use strict";

const $ = (id) => document.getElementById(id);

function say(text) { $("status").textContent = text; }

async function api(path, options = {}) {
  const response = await fetch(path, { credentials: "same-origin", ...options });
  if (response.status === 401) {
    $("login").hidden = false;
    throw new Error("the token is needed");
  }
  if (!response.ok) {
    let message = response.statusText;
    try { message = (await response.json()).error; } catch (e) { /* not JSON */ }
    throw new Error(message);
  }
  return response;
}

function cell(row, text) {
  const td = document.createElement("td");
  td.textContent = String(text);
  row.appendChild(td);
}

function addJob(job, came) {
  const row = document.createElement("tr");
  row.tabIndex = 0;
  row.dataset.job = job.job;
  cell(row, job.job);
  const picture = document.createElement("td");
  const thumb = document.createElement("img");
  thumb.loading = "lazy";
  thumb.className = "thumb";
  thumb.alt = "Receipt of job " + job.job;
  thumb.src = "/api/jobs/" + encodeURIComponent(job.job) + ".png";
  picture.appendChild(thumb);
  row.appendChild(picture);
  cell(row, came);
  cell(row, job.source);
  cell(row, job.printer);
  cell(row, job.bytes);
  cell(row, job.cuts);
  cell(row, job.status_replies);
  cell(row, job.not_understood_bytes);
  const open = () => { $("compare-b").value = $("compare-a").value; $("compare-a").value = job.job; showJob(job); };
  row.addEventListener("click", open);
  row.addEventListener("keydown", (event) => { if (event.key === "Enter" || event.key === " ") { event.preventDefault(); open(); } });
  const body = $("jobs").tBodies[0];
  body.insertBefore(row, body.firstChild);
}

function hexView(bytes) {
  const lines = [];
  for (let at = 0; at < bytes.length && at < 65536; at += 16) {
    const part = bytes.slice(at, at + 16);
    const hex = Array.from(part, (b) => b.toString(16).toUpperCase().padStart(2, "0")).join(" ");
    const text = Array.from(part, (b) => (b >= 32 && b < 127 ? String.fromCharCode(b) : ".")).join("");
    lines.push(at.toString(16).padStart(8, "0") + "  " + hex.padEnd(48) + "  " + text);
  }
  if (bytes.length > 65536) lines.push("… the first 64 KiB of " + bytes.length + " bytes");
  return lines.join("\n");
}

// The job's bytes as characters: a line at each LF, control bytes as dots.
function charView(bytes) {
  const shown = bytes.length > 65536 ? bytes.slice(0, 65536) : bytes;
  return Array.from(shown, (b) => (b === 10 ? "\n" : b >= 32 && b !== 127 ? String.fromCharCode(b) : "·")).join("");
}

async function showJob(job) {
  $("job").hidden = false;
  $("job-title").textContent = "Job " + job.job + " from " + job.source;
  const links = $("downloads");
  links.textContent = "Download: ";
  for (const kind of ["bin", "txt", "json", "png", "pdf", "report"]) {
    const a = document.createElement("a");
    a.href = "/api/jobs/" + encodeURIComponent(job.job) + "." + kind;
    a.textContent = "." + kind + " ";
    links.appendChild(a);
  }
  showReceipt($("receipt"), job.job);
  $("mark").hidden = true;
  showCommands(job);
  $("report").textContent = JSON.stringify(job, null, 2);
  try {
    const report = await (await api("/api/jobs/" + job.job + ".report")).json();
    $("report").textContent = JSON.stringify(job, null, 2) + "\n\n" + JSON.stringify(report, null, 2);
    const log = await (await api("/api/jobs/" + job.job + ".txt")).arrayBuffer();
    $("commands").textContent = new TextDecoder("windows-1252").decode(log);
    const bytes = new Uint8Array(await (await api("/api/jobs/" + job.job + ".bin")).arrayBuffer());
    $("hex").textContent = hexView(bytes);
    $("chars").textContent = charView(bytes);
  } catch (error) {
    $("commands").textContent = "";
    $("chars").textContent = "";
    $("hex").textContent = String(error.message);
  }
}

// A receipt too long for one image comes in pieces, each placed where the
// service says it goes among the receipts stacked as one (the gap between
// two receipts stays), with its size set before it loads, so that a
// command's rectangle falls where it printed; each loads as it comes near
// the view, so a long report never has to be held whole.
async function showReceipt(image, job) {
  image.dataset.job = job;
  for (const piece of image.parentElement.querySelectorAll("img.piece")) piece.remove();
  for (const name of ["width", "height", "data-gap"]) image.removeAttribute(name);
  let pieces = [];
  try {
    pieces = (await (await api("/api/jobs/" + encodeURIComponent(job) + ".pieces")).json()).pieces;
  } catch (error) { /* the image itself fails and says so */ }
  if (image.dataset.job !== String(job)) return; // another job was opened meanwhile
  image.src = "/api/jobs/" + encodeURIComponent(job) + ".png";
  let bottom = 0, last = image;
  pieces.forEach((piece, i) => {
    const img = i === 0 ? image : document.createElement("img");
    if (i > 0) {
      img.className = "piece";
      img.loading = "lazy";
      img.alt = "Piece " + (i + 1) + " of " + pieces.length + " of the receipt";
      img.src = piece.url;
      last.after(img);
      last = img;
    }
    img.width = piece.width;
    img.height = piece.height;
    img.dataset.gap = piece.top - bottom;
    img.style.marginTop = img.dataset.gap + "px";
    bottom = piece.top + piece.height;
  });
  zoom();
}

function zoom() {
  const scale = Number($("zoom").value);
  for (const image of $("sheet").querySelectorAll("img")) {
    const width = Number(image.getAttribute("width")) || image.naturalWidth;
    const height = Number(image.getAttribute("height")) || image.naturalHeight;
    image.style.width = width ? width * scale + "px" : "";
    image.style.height = height ? height * scale + "px" : "";
    image.style.marginTop = (Number(image.dataset.gap) || 0) * scale + "px";
  }
}
$("zoom").addEventListener("change", zoom);
$("receipt").addEventListener("load", zoom);

// The printer model's commands; each marks its place on the receipt.
async function showCommands(job) {
  const list = $("model-commands");
  list.textContent = "";
  try {
    const listing = await (await api("/api/jobs/" + job.job + ".commands")).json();
    for (const command of listing.commands) {
      const item = document.createElement("li");
      const button = document.createElement("button");
      button.type = "button";
      button.className = "command";
      button.textContent = command.text + "  " + command.description;
      button.addEventListener("click", () => mark(command));
      item.appendChild(button);
      list.appendChild(item);
    }
  } catch (error) {
    list.textContent = error.message;
  }
}

function mark(command) {
  const scale = Number($("zoom").value);
  const box = $("mark");
  box.style.left = command.x * scale + "px";
  box.style.top = command.y * scale + "px";
  box.style.width = Math.max(2, command.width * scale) + "px";
  box.style.height = Math.max(2, command.height * scale) + "px";
  box.hidden = false;
  box.scrollIntoView({ block: "nearest" });
  say("Marked: " + command.text + " " + command.description);
}

let stateNow = {};

function showState(state) {
  stateNow = state;
  $("printer").textContent = "Model: " + state.printer;
  const box = $("state");
  for (const name of Object.keys(state)) {
    if (name === "printer") continue;
    let input = document.getElementById("state-" + name);
    if (!input) {
      const label = document.createElement("label");
      input = document.createElement("input");
      input.type = "checkbox";
      input.id = "state-" + name;
      input.addEventListener("change", () => changeState(name, input.checked));
      label.appendChild(input);
      label.appendChild(document.createTextNode(" " + name));
      box.appendChild(label);
    }
    input.checked = !!state[name];
  }
}

async function changeState(name, on) {
  try {
    const response = await api("/api/state", {
      method: "PUT",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ [name]: on }),
    });
    showState(await response.json());
    say("The printer now reports " + name + (on ? " on" : " off") + ".");
  } catch (error) {
    say("Could not change the state: " + error.message);
    showState(stateNow);
  }
}

function goLive() {
  const events = new EventSource("/api/events");
  events.addEventListener("job", (event) => {
    addJob(JSON.parse(event.data), new Date().toLocaleTimeString());
    say("A job came.");
  });
  events.addEventListener("state", (event) => showState(JSON.parse(event.data)));
  events.addEventListener("open", () => say("Watching for jobs."));
  events.addEventListener("error", () => say("The live stream is interrupted; retrying."));
}

async function start() {
  try {
    const jobs = await (await api("/api/jobs")).json();
    for (const job of jobs) addJob(job, "earlier");
    showState(await (await api("/api/state")).json());
    goLive();
  } catch (error) {
    say(error.message);
  }
}

$("compare").addEventListener("submit", async (event) => {
  event.preventDefault();
  const a = Number($("compare-a").value), b = Number($("compare-b").value);
  try {
    const result = await (await api("/api/compare/" + a + "/" + b)).json();
    $("differences").textContent = result.differences;
    for (const [side, job] of [["a", a], ["b", b]]) {
      showReceipt($("compare-" + side + "-receipt"), job);
      $("compare-" + side + "-receipt").alt = "The receipt of job " + job;
      $("compare-" + side + "-caption").textContent = "Job " + job;
      const list = $("compare-" + side + "-commands");
      list.textContent = "";
      api("/api/jobs/" + job + ".commands").then((r) => r.json()).then((listing) => {
        for (const command of listing.commands) {
          const item = document.createElement("li");
          item.textContent = command.text + "  " + command.description;
          list.appendChild(item);
        }
      }).catch((error) => { list.textContent = error.message; });
    }
    say(result.same ? "The two jobs print the same." : "The two jobs differ.");
  } catch (error) {
    $("differences").textContent = error.message;
  }
});

$("login").addEventListener("submit", async (event) => {
  event.preventDefault();
  try {
    await api("/api/login", {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ token: $("token").value }),
    });
    $("login").hidden = true;
    $("token").value = "";
    start();
  } catch (error) {
    say(error.message);
  }
});

start();
