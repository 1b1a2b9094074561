// A web till on another origin posts Star WebPRNT to ostrel-capture
// --web-print in Debian's chromium, the way Star's StarWebPrintTrader does
// (its XML escaped into <Request>, text/xml, the answer read from the text
// of <Response>): text, a barcode, a QR Code, a canvas image and a cut print,
// the answer says success, and the receipt's symbols read back with ZXing.
// With the paper out the till is told paper empty; an empty request only
// asks for the status. A page on an origin not allowed is refused.
// Usage: node webprnt_test.mjs OSTREL_CAPTURE DECODE_SYMBOLS

import { execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync, readdirSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { canvasBits, launch, run as runCapture, serve } from "./till_harness.mjs";

const [capture, decoder] = process.argv.slice(2);
const folder = mkdtempSync(path.join(os.tmpdir(), "ostrel-webprnt-"));
const fail = (why) => { throw new Error(why); };

// The till's page, served from an origin of its own.
const tillPage = `<!doctype html><meta charset="utf-8"><title>till</title><canvas id="c" width="64" height="32"></canvas>
<script>
// As the trader posts: <root> escaped into the text of <Request>.
window.post = (url, request) => new Promise((resolve) => {
  const escape = (s) => s.replace(/[<>&]/g, (c) => ({ "<": "&lt;", ">": "&gt;", "&": "&amp;" })[c]);
  const body = '<StarWebPrint xmlns="http://www.star-m.jp" xmlns:i="http://www.w3.org/2001/XMLSchema-instance">' +
    "<Request>" + escape("<root>" + request + "</root>") + "</Request></StarWebPrint>";
  const xhr = new XMLHttpRequest();
  xhr.open("POST", url, true);
  xhr.setRequestHeader("Content-Type", "text/xml; charset=UTF-8");
  xhr.onreadystatechange = () => {
    if (xhr.readyState !== 4) return;
    if (xhr.status !== 200) return resolve({ error: xhr.status, text: xhr.responseText });
    const found = xhr.responseXML && xhr.responseXML.getElementsByTagName("Response");
    if (!found || !found.length) return resolve({ error: "no Response", text: xhr.responseText });
    const text = found[0].childNodes[0].nodeValue;
    const between = (tag) => text.slice(text.indexOf("<" + tag + ">") + tag.length + 2, text.indexOf("</" + tag + ">"));
    resolve({ success: between("success"), code: between("code"), status: between("status") });
  };
  xhr.send(body);
});
// A canvas drawn as the builder sends a bit image: rows of bits, 1 black.
window.bitimage = () => '<bitimage width="64" height="32">' + window.canvasBits() + "</bitimage>";
${canvasBits}
</script>`;


const running = [];
const run = (args) => runCapture(capture, args, running);

let browser, till, stranger;
try {
  till = await serve(tillPage);
  stranger = await serve(tillPage);
  const tillOrigin = `http://127.0.0.1:${till.address().port}`;
  const heard = run(["--printer", "star-tsp100iv", "--web-print", "127.0.0.1:0", "--web-print-origin", tillOrigin,
                     "--http", "127.0.0.1:0", "--out", path.join(folder, "jobs")]);
  const webPrint = Number((await heard(/ePOS-Print and WebPRNT on 127\.0\.0\.1:(\d+)/))[1]);
  const api = `http://127.0.0.1:${(await heard(/on http:\/\/127\.0\.0\.1:(\d+)\//))[1]}/api`;
  const url = `http://127.0.0.1:${webPrint}/StarWebPRNT/SendMessage`;

  browser = await launch();
  const page = await browser.newPage();
  await page.goto(tillOrigin + "/");

  const receipt = await page.evaluate(() =>
    '<initialization/><alignment position="center"/>' +
    '<text emphasis="true" width="2" height="2">OSTREL TILL\\x0a</text><text emphasis="false" width="1" height="1"/>' +
    '<text>Flat white   3.20\\x0a</text><feed line="2"/>' +
    '<barcode symbology="Code128" width="width3" height="80" hri="true">WEBPRNT42</barcode>' +
    '<feed line="2"/><qrcode model="model2" level="level_m" cell="6">https://ostrel.example/webprnt</qrcode>' +
    window.bitimage() + '<cutpaper feed="true" type="partial"/>');
  const printed = await page.evaluate((u, r) => window.post(u, r), url, receipt);
  if (printed.success !== "true" || printed.code !== "0" || printed.status.length !== 22)
    fail("the till was not told success: " + JSON.stringify(printed));

  // The job, its source and the document kept beside it.
  const jobs = await (await fetch(api + "/jobs")).json();
  if (jobs.length !== 1 || !String(jobs[0].source).startsWith("webprnt 127.0.0.1:"))
    fail("no WebPRNT job listed: " + JSON.stringify(jobs));
  const kept = readdirSync(path.join(folder, "jobs")).filter((name) => name.endsWith(".xml"));
  if (kept.length !== 1 || !readFileSync(path.join(folder, "jobs", kept[0]), "utf8").includes("StarWebPrint"))
    fail("the document is not kept beside the job: " + JSON.stringify(kept));
  const drawn = await fetch(`${api}/jobs/${jobs[0].job}.png`);
  if (!drawn.ok) fail("the receipt was not drawn: " + drawn.status + " " + (await drawn.text()));
  const png = Buffer.from(await drawn.arrayBuffer());
  writeFileSync(path.join(folder, "receipt.png"), png);
  const read = execFileSync(decoder, [path.join(folder, "receipt.png")]).toString().trim().split("\n");
  if (JSON.stringify(read) !== JSON.stringify(["WEBPRNT42", "https://ostrel.example/webprnt"]))
    fail("the receipt's symbols read " + JSON.stringify(read));
  const report = await (await fetch(`${api}/jobs/${jobs[0].job}.report`)).json();
  if (report.not_understood_bytes !== 0) fail("the model did not understand every byte: " + JSON.stringify(report));

  // A document the printer cannot read: the trader's onError gets the reason, and nothing prints.
  const bad = await page.evaluate((u) => window.post(u, '<text>a</text><page/>'), url);
  if (bad.error !== 400 || !bad.text.includes("<page> is no WebPRNT element"))
    fail("a bad document was answered " + JSON.stringify(bad));
  if ((await (await fetch(api + "/jobs")).json()).length !== 1) fail("a bad document made a job");

  // Paper out: the till is told paper empty, as the trader's isPaperEnd reads it.
  const put = await fetch(api + "/state", { method: "PUT", headers: { "Content-Type": "application/json" }, body: JSON.stringify({ "paper-out": true }) });
  if (!put.ok) fail("the state could not be set: " + (await put.text()));
  const out = await page.evaluate((u) => window.post(u, '<text>again\\x0a</text><cutpaper/>'), url);
  const paperEnd = (parseInt(out.status.substr(10, 2), 16) & 8) !== 0;
  if (out.success !== "false" || out.code !== "1100" || !paperEnd)
    fail("with the paper out the till was told " + JSON.stringify(out));
  const asked = await page.evaluate((u) => window.post(u, ""), url);
  if (asked.code !== "1100" || (parseInt(asked.status.substr(10, 2), 16) & 8) === 0)
    fail("the status alone was told as " + JSON.stringify(asked));
  if ((await (await fetch(api + "/jobs")).json()).length !== 2) fail("the status request made a job");

  // Another origin's page cannot post.
  const other = await browser.newPage();
  await other.goto(`http://127.0.0.1:${stranger.address().port}/`);
  const refused = await other.evaluate((u) => window.post(u, "<text>x</text>"), url);
  if (refused.success !== undefined) fail("a page of an origin not allowed could post: " + JSON.stringify(refused));

  // A Star Line mode printer in time with a short roll: the till's answer
  // waits for the printing, and says paper empty when the roll runs out in it.
  const line = run(["--printer", "star-tsp650ii-line", "--roll", "0.05", "--web-print", "127.0.0.1:0",
                    "--http", "127.0.0.1:0", "--out", path.join(folder, "line")]);
  const lineUrl = `http://127.0.0.1:${(await line(/ePOS-Print and WebPRNT on 127\.0\.0\.1:(\d+)/))[1]}/StarWebPRNT/SendMessage`;
  const short = await page.evaluate((u) => window.post(u, '<text>line mode\\x0a</text><cutpaper feed="true"/>'), lineUrl);
  if (short.success !== "true" || short.code !== "0") fail("the Star Line mode printer did not print: " + JSON.stringify(short));
  const long = await page.evaluate((u) => window.post(u, '<text>long\\x0a</text>' + '<feed unit="255"/>'.repeat(4)), lineUrl);
  if (long.success !== "false" || long.code !== "1100" || (parseInt(long.status.substr(10, 2), 16) & 8) === 0)
    fail("the roll ran out in the job and the till was told " + JSON.stringify(long));

  console.log("webprnt test passed: a till on another origin printed text, a barcode, a QR Code, an image and a cut, " +
              "read back as " + read.join(" and ") + "; paper empty told, at once and when the roll ran out while printing; a stranger's page refused");
} finally {
  if (browser) await browser.close();
  for (const server of [till, stranger]) if (server) server.close();
  for (const child of running) child.kill();
  rmSync(folder, { recursive: true, force: true });
}
