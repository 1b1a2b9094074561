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

// The service's printers by name, as /api/printers lists them; the one
// whose state and memory are shown; the one whose jobs alone are listed
// ("" for all).
const printers = new Map();
let chosen = "";
let only = "";

// Each printer's API; names are letters, digits, -, _ and . only, and
// encoded all the same.
const base = (name) => "/api/printers/" + encodeURIComponent(name);
const jobUrl = (job, kind) => base(job.printer_name) + "/jobs/" + encodeURIComponent(job.job) + kind;

const kBad = ["offline", "cover-open", "paper-out", "error", "unrecoverable-error", "cutter-error"];

// What a printer reports, in words, and how much it matters.
function stateWords(state) {
  const on = Object.keys(state).filter((name) => state[name] === true);
  if (on.length === 0) return { text: "Ready", level: "ok" };
  const text = on.map((name) => name.replace(/-/g, " ")).join(", ");
  return { text: text[0].toUpperCase() + text.slice(1), level: on.some((name) => kBad.includes(name)) ? "bad" : "warn" };
}

function showShop() {
  const shop = $("shop");
  shop.textContent = "";
  if (printers.size > 1) {
    const item = document.createElement("li");
    item.className = "all";
    const all = document.createElement("button");
    all.type = "button";
    all.className = "printer all";
    all.setAttribute("aria-pressed", String(only === ""));
    all.textContent = "All printers";
    all.addEventListener("click", () => choose(chosen, ""));
    item.appendChild(all);
    shop.appendChild(item);
  }
  for (const printer of printers.values()) {
    const item = document.createElement("li");
    const button = document.createElement("button");
    button.type = "button";
    button.className = "printer";
    button.dataset.printer = printer.name;
    button.setAttribute("aria-pressed", String(only === printer.name));
    const words = stateWords(printer.state);
    line(button, "name", printer.name);
    line(button, "count", plural(printer.jobs, "job"));
    line(button, "model", printer.printer + (printer.where ? " on " + printer.where : ""));
    line(button, "light " + words.level, words.text);
    button.title = printers.size > 1 ? "Show only " + printer.name + "'s jobs, its state and its memory" : "";
    button.addEventListener("click", () => choose(printer.name, printers.size > 1 && only !== printer.name ? printer.name : ""));
    item.appendChild(button);
    shop.appendChild(item);
  }
}

// A printer chosen: its state and memory below; with `list` its jobs alone.
function choose(name, list) {
  only = list;
  const again = chosen === name;
  chosen = name;
  for (const row of $("jobs").tBodies[0].rows) row.hidden = only !== "" && row.dataset.printer !== only;
  listed();
  showShop();
  if (!again) {
    api(base(name) + "/state").then((r) => r.json()).then(showState).catch((error) => say(error.message));
    loadMemory();
  }
}

// The list's title and, when it shows none, why.
function listed() {
  $("jobs-title").textContent = only === "" ? "Jobs, newest first" : "Jobs of " + only + ", newest first";
  const shown = Array.from($("jobs").tBodies[0].rows).some((row) => !row.hidden);
  $("no-jobs").hidden = shown;
  $("no-jobs").textContent = only === "" ? "No job has come yet." : "No job has come to " + only + " yet.";
}

function line(parent, className, text) {
  const span = document.createElement("span");
  span.className = className;
  span.textContent = String(text);
  parent.appendChild(span);
  return span;
}

const plural = (count, one) => count + " " + one + (count === 1 ? "" : "s");

// When a job came: the time today, the date and time before.
function timeCell(row, started) {
  const td = document.createElement("td");
  const time = document.createElement("time");
  const when = new Date(started);
  if (started && !Number.isNaN(when.getTime())) {
    time.dateTime = started;
    time.title = when.toLocaleString();
    time.textContent = when.toDateString() === new Date().toDateString() ? when.toLocaleTimeString() : when.toLocaleString();
  }
  td.appendChild(time);
  row.appendChild(td);
}

// Each job listed, by printer and number: one both listed and told live
// shows once.
const listedJobs = new Set();

function addJob(job) {
  if (!job.printer_name) job.printer_name = printers.keys().next().value || "printer";
  const key = job.printer_name + "/" + job.job;
  if (listedJobs.has(key)) return;
  listedJobs.add(key);
  const row = document.createElement("tr");
  row.tabIndex = 0;
  row.dataset.job = job.job;
  row.dataset.printer = job.printer_name;
  row.dataset.started = job.started || "";
  row.hidden = only !== "" && only !== job.printer_name;
  const picture = document.createElement("td");
  const thumb = document.createElement("img");
  thumb.loading = "lazy";
  thumb.className = "thumb";
  thumb.alt = "Receipt of job " + job.job + " of " + job.printer_name;
  thumb.src = jobUrl(job, ".png");
  picture.appendChild(thumb);
  row.appendChild(picture);
  const what = document.createElement("td");
  line(what, "name", job.printer_name + " #" + job.job);
  line(what, "sub", job.source);
  row.appendChild(what);
  timeCell(row, job.started);
  const size = document.createElement("td");
  line(size, "bytes", plural(job.bytes, "byte"));
  line(size, "sub", plural(job.cuts, "receipt"));
  if (job.status_replies > 0) line(size, "sub", job.status_replies + (job.status_replies === 1 ? " reply" : " replies"));
  if (job.not_understood_bytes > 0) line(size, "sub odd", job.not_understood_bytes + " not understood");
  row.appendChild(size);
  const open = () => {
    const last = $("compare-a").dataset.printer;
    $("compare-b").value = last === job.printer_name ? $("compare-a").value : "";
    $("compare-a").value = job.job;
    $("compare-a").dataset.printer = job.printer_name;
    $("compare-printer").value = job.printer_name;
    for (const other of row.parentElement.rows) other.removeAttribute("aria-current");
    row.setAttribute("aria-current", "true");
    showJob(job);
  };
  row.addEventListener("click", open);
  row.addEventListener("keydown", (event) => { if (event.key === "Enter" || event.key === " ") { event.preventDefault(); open(); } });
  // Newest first: a job told live goes on top, one listed after it where it came.
  const body = $("jobs").tBodies[0];
  let after = body.firstChild;
  while (after && after.dataset.started > row.dataset.started) after = after.nextSibling;
  body.insertBefore(row, after);
  listed();
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
  $("no-job").hidden = true;
  $("job-title").textContent = "Job " + job.job + " of " + job.printer_name;
  const when = new Date(job.started);
  $("job-about").textContent = (Number.isNaN(when.getTime()) ? "" : "Came " + when.toLocaleString() + " ") +
    "from " + job.source + "; drawn as " + job.printer + " prints it.";
  const links = $("downloads");
  links.textContent = "Download: ";
  for (const kind of ["bin", "txt", "json", "png", "pdf", "report"]) {
    const a = document.createElement("a");
    a.href = jobUrl(job, "." + kind);
    a.textContent = "." + kind + " ";
    links.appendChild(a);
  }
  showReceipt($("receipt"), job);
  $("mark").hidden = true;
  showCommands(job);
  $("report").textContent = JSON.stringify(job, null, 2);
  try {
    const report = await (await api(jobUrl(job, ".report"))).json();
    $("report").textContent = JSON.stringify(job, null, 2) + "\n\n" + JSON.stringify(report, null, 2);
    const log = await (await api(jobUrl(job, ".txt"))).arrayBuffer();
    $("commands").textContent = new TextDecoder("windows-1252").decode(log);
    const bytes = new Uint8Array(await (await api(jobUrl(job, ".bin"))).arrayBuffer());
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
  const key = job.printer_name + "/" + job.job;
  image.dataset.job = key;
  for (const piece of image.parentElement.querySelectorAll("img.piece")) piece.remove();
  for (const name of ["width", "height", "data-gap"]) image.removeAttribute(name);
  let pieces = [];
  try {
    pieces = (await (await api(jobUrl(job, ".pieces"))).json()).pieces;
  } catch (error) { /* the image itself fails and says so */ }
  if (image.dataset.job !== key) return; // another job was opened meanwhile
  image.src = jobUrl(job, ".png");
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
// A phone shows the whole width of the paper at half size.
const phone = window.matchMedia("(max-width: 40rem)");
const fitPhone = () => { $("zoom").value = phone.matches ? "0.5" : "1"; zoom(); };
phone.addEventListener("change", fitPhone);
$("zoom").value = phone.matches ? "0.5" : "1";
$("zoom").addEventListener("change", zoom);
$("receipt").addEventListener("load", zoom);

// The printer model's commands; each marks its place on the receipt.
async function showCommands(job) {
  const list = $("model-commands");
  list.textContent = "";
  try {
    const listing = await (await api(jobUrl(job, ".commands"))).json();
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

// A printer's state as it comes: its card in the shop, and the boxes when
// it is the printer chosen.
function showState(state) {
  const printer = printers.get(state.printer_name);
  if (printer) {
    printer.state = Object.fromEntries(Object.entries(state).filter(([, on]) => typeof on === "boolean"));
    showShop();
  }
  if (state.printer_name !== undefined && state.printer_name !== chosen) return;
  stateNow = state;
  $("state-title").textContent = printers.size > 1 ? "Printer state: " + chosen : "Printer state";
  $("printer").textContent = "Model: " + state.printer;
  const box = $("state");
  for (const name of Object.keys(state)) {
    if (name === "printer" || name === "printer_name") continue;
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
  const printer = chosen;
  try {
    const response = await api(base(printer) + "/state", {
      method: "PUT",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ [name]: on }),
    });
    showState(await response.json());
    say((printers.size > 1 ? printer : "The printer") + " now reports " + name + (on ? " on" : " off") + ".");
  } catch (error) {
    say("Could not change the state: " + error.message);
    showState(stateNow);
  }
}

function showMemory(memory) {
  $("memory-section").hidden = false;
  $("memory-title").textContent = printers.size > 1 ? "Printer memory: " + chosen : "Printer memory";
  $("memory-room").textContent = "NV memory: " + memory.nv.used + " of " + memory.nv.capacity +
    " bytes used; download memory: " + memory.download.used + " of " + memory.download.capacity + " bytes used.";
  const body = $("memory").querySelector("tbody");
  body.textContent = "";
  for (const stored of memory.stored) {
    const row = document.createElement("tr");
    for (const text of [stored.kind, stored.key, stored.bytes, stored.kept]) cell(row, text);
    body.appendChild(row);
  }
}

async function loadMemory() {
  try {
    showMemory(await (await api(base(chosen) + "/memory")).json());
  } catch (error) { /* a program that keeps no memory shows none */ }
}

$("memory-clear").addEventListener("click", async () => {
  if (!window.confirm("Clear every graphic, logo and character stored in the printer?")) return;
  try {
    showMemory(await (await api(base(chosen) + "/memory", {
      method: "DELETE",
      headers: { "Content-Type": "application/json" },
    })).json());
    say("The printer's memory is cleared.");
  } catch (error) {
    say("Could not clear the printer's memory: " + error.message);
  }
});

// Every printer's events on one stream, each naming its printer.
function goLive() {
  const events = new EventSource("/api/events");
  events.addEventListener("job", (event) => {
    const job = JSON.parse(event.data);
    addJob(job);
    const printer = printers.get(job.printer_name);
    if (printer) {
      printer.jobs += 1;
      showShop();
    }
    say(printers.size > 1 ? "A job came to " + job.printer_name + "." : "A job came.");
    if (job.printer_name === chosen) loadMemory();
  });
  events.addEventListener("state", (event) => showState(JSON.parse(event.data)));
  // Once the stream is open, the lists hold every job that ended before it,
  // also after an interruption; a stream refused still leaves them shown.
  let opened = false;
  events.addEventListener("open", () => {
    opened = true;
    say("Watching for jobs.");
    catchUp();
  });
  events.addEventListener("error", () => {
    say("The live stream is interrupted; retrying.");
    if (!opened) catchUp();
  });
}

// Every printer's count and jobs, the newest first whichever printer took them.
async function catchUp() {
  try {
    const shop = await (await api("/api/printers")).json();
    for (const printer of shop) printers.set(printer.name, printer);
    showShop();
    const lists = await Promise.all(shop.map(async (printer) => (await api(base(printer.name) + "/jobs")).json()));
    const jobs = lists.flat().sort((a, b) => String(a.started || "").localeCompare(String(b.started || "")));
    for (const job of jobs) addJob(job);
  } catch (error) {
    say(error.message);
  }
}

async function start() {
  try {
    const shop = await (await api("/api/printers")).json();
    printers.clear();
    for (const printer of shop) printers.set(printer.name, printer);
    chosen = shop[0].name;
    showShop();
    const picker = $("compare-printer");
    picker.textContent = "";
    for (const printer of shop) picker.appendChild(new Option(printer.name, printer.name));
    picker.parentElement.querySelector("label[for=compare-printer]").hidden = picker.hidden = shop.length < 2;
    showState(await (await api(base(chosen) + "/state")).json());
    loadMemory();
    goLive();
  } catch (error) {
    say(error.message);
  }
}

$("compare").addEventListener("submit", async (event) => {
  event.preventDefault();
  const a = Number($("compare-a").value), b = Number($("compare-b").value);
  const printer = $("compare-printer").value;
  try {
    const result = await (await api(base(printer) + "/compare/" + a + "/" + b)).json();
    $("differences").textContent = result.differences;
    for (const [side, number] of [["a", a], ["b", b]]) {
      const job = { job: number, printer_name: printer };
      showReceipt($("compare-" + side + "-receipt"), job);
      $("compare-" + side + "-receipt").alt = "The receipt of job " + number + " of " + printer;
      $("compare-" + side + "-caption").textContent = "Job " + number + (printers.size > 1 ? " of " + printer : "");
      const list = $("compare-" + side + "-commands");
      list.textContent = "";
      api(jobUrl(job, ".commands")).then((r) => r.json()).then((listing) => {
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
