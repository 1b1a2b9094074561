// What the web tills' browser tests share: the till's page on an origin of
// its own, ostrel-capture run and listened to, and the browser.

import { spawn } from "node:child_process";
import http from "node:http";
import puppeteer from "puppeteer-core";

// In the till's page: the canvas as the SDKs send a picture, rows of bits,
// 1 black, in base64.
export const canvasBits = `
window.canvasBits = () => {
  const canvas = document.getElementById("c"), context = canvas.getContext("2d");
  context.fillStyle = "#fff"; context.fillRect(0, 0, 64, 32);
  context.fillStyle = "#000"; context.fillRect(4, 4, 56, 24);
  const pixels = context.getImageData(0, 0, 64, 32).data;
  let bytes = "";
  for (let y = 0; y < 32; ++y)
    for (let x = 0; x < 64; x += 8) {
      let byte = 0;
      for (let bit = 0; bit < 8; ++bit) {
        const at = (y * 64 + x + bit) * 4;
        if (pixels[at] * 0.3 + pixels[at + 1] * 0.59 + pixels[at + 2] * 0.11 < 128) byte |= 0x80 >> bit;
      }
      bytes += String.fromCharCode(byte);
    }
  return btoa(bytes);
};`;

// The till's page, served from an origin of its own.
export const serve = (page) => new Promise((resolve) => {
  const server = http.createServer((request, response) => {
    response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    response.end(page);
  });
  server.listen(0, "127.0.0.1", () => resolve(server));
});

// ostrel-capture with these arguments, kept in `running`; what it gives
// waits for a pattern on its standard error, and `said()` is all of it.
export const run = (capture, args, running) => {
  const child = spawn(capture, args);
  running.push(child);
  let said = "";
  child.stderr.on("data", (chunk) => { said += chunk; });
  const heard = (pattern) => new Promise((resolve, reject) => {
    const look = () => { const m = said.match(pattern); if (m) { resolve(m); return true; } return false; };
    if (look()) return;
    const timer = setTimeout(() => reject(new Error("ostrel-capture never said " + pattern + ":\n" + said)), 10000);
    child.stderr.on("data", () => { if (look()) clearTimeout(timer); });
  });
  heard.said = () => said;
  return heard;
};

// Debian's chromium, headless.
export const launch = () => puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage"],
});
