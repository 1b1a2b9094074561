// A web till on another origin posts Epson ePOS-Print to ostrel-capture
// --web-print in Debian's chromium, the way Epson's ePOS SDK does (a SOAP
// envelope, text/xml, If-Modified-Since and SOAPAction, so the browser asks
// first): text, a barcode, a QR Code, a canvas image and a cut print, the
// answer says success, the symbols read back with ZXing and the text as the
// model lists it. With the paper out the till is told EPTR_REC_EMPTY and the
// document is kept as a job; an empty document only asks for the status; the
// customer display path says there is none; a printer in time that cannot
// print within the till's timeout answers EX_TIMEOUT; a page of an origin
// not allowed is refused.
// Usage: node epos_test.mjs OSTREL_CAPTURE DECODE_SYMBOLS

import { execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync, readdirSync, readFileSync, rmSync } from "node:fs";
import os from "node:os";
import path from "node:path";
import { canvasBits, launch, run as runCapture, serve } from "./till_harness.mjs";

const [capture, decoder] = process.argv.slice(2);
const folder = mkdtempSync(path.join(os.tmpdir(), "ostrel-epos-"));
const fail = (why) => { throw new Error(why); };

// Epson's status bits, as its SDK names them.
const ASB_PRINT_SUCCESS = 0x2, ASB_OFF_LINE = 0x8, ASB_RECEIPT_END = 0x80000;

// The till's page, served from an origin of its own.
const tillPage = `<!doctype html><meta charset="utf-8"><title>till</title><canvas id="c" width="64" height="32"></canvas>
<script>
// As the SDK's ePOSPrint.send posts and reads.
window.post = (url, request, ns) => new Promise((resolve) => {
  const body = '<?xml version="1.0" encoding="utf-8"?>' +
    '<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>' +
    '<' + (ns || 'epos-print xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print"') + '>' + request +
    '</' + (ns ? ns.split(" ")[0] : "epos-print") + '></s:Body></s:Envelope>';
  const xhr = new XMLHttpRequest();
  xhr.open("POST", url, true);
  xhr.setRequestHeader("Content-Type", "text/xml; charset=utf-8");
  xhr.setRequestHeader("If-Modified-Since", "Thu, 01 Jan 1970 00:00:00 GMT");
  xhr.setRequestHeader("SOAPAction", '""');
  xhr.onreadystatechange = () => {
    if (xhr.readyState !== 4) return;
    if (xhr.status !== 200) return resolve({ error: xhr.status, text: xhr.responseText });
    const found = xhr.responseXML && xhr.responseXML.getElementsByTagName("response");
    if (!found || !found.length) return resolve({ error: "no response", text: xhr.responseText });
    const r = found[0];
    resolve({ success: /^(1|true)$/.test(r.getAttribute("success")), code: r.getAttribute("code"),
              status: parseInt(r.getAttribute("status"), 10) });
  };
  xhr.send(body);
});
// A canvas as the SDK's addImage sends it: rows of bits, 1 black, in base64.
window.image = () => '<image width="64" height="32" color="color_1" mode="mono">' + window.canvasBits() + "</image>";
${canvasBits}
</script>`;

const running = [];
const run = (args) => runCapture(capture, args, running);

// The model's text commands of a job, as its command list shows them.
const printedText = async (api, number) => {
  const listed = await (await fetch(`${api}/jobs/${number}.commands`)).json();
  return listed.commands.filter((c) => c.text === "Text")
    .map((c) => Buffer.from(c.description.slice(1, -1), "latin1").toString("utf8"))
    .join("");
};

let browser, till, stranger;
try {
  till = await serve(tillPage);
  stranger = await serve(tillPage);
  const tillOrigin = `http://127.0.0.1:${till.address().port}`;
  const heard = run(["--printer", "epson-tm-t88vi", "--web-print", "127.0.0.1:0", "--web-print-origin", tillOrigin,
                     "--http", "127.0.0.1:0", "--out", path.join(folder, "jobs")]);
  const webPrint = Number((await heard(/ePOS-Print and WebPRNT on 127\.0\.0\.1:(\d+)/))[1]);
  const api = `http://127.0.0.1:${(await heard(/on http:\/\/127\.0\.0\.1:(\d+)\//))[1]}/api`;
  const url = `http://127.0.0.1:${webPrint}/cgi-bin/epos/service.cgi?devid=local_printer&timeout=10000`;

  browser = await launch();
  const page = await browser.newPage();
  await page.goto(tillOrigin + "/");

  // The SDK's probe: an empty document, and the customer display's.
  const probe = await page.evaluate((u) => window.post(u, ""), url);
  if (probe.success !== true || (probe.status & ASB_OFF_LINE)) fail("the probe was told " + JSON.stringify(probe));
  const display = await page.evaluate((u) => window.post(u.replace("/epos/", "/eposDisp/"), "",
    'epos-display xmlns="http://www.epson-pos.com/schemas/2012/09/epos-display"'), url);
  if (display.success !== false || display.code !== "DeviceNotFound")
    fail("the customer display's probe was told " + JSON.stringify(display));

  const receipt = await page.evaluate(() =>
    '<text align="center" dw="true" dh="true" em="true">OSTREL TILL&#10;</text>' +
    '<text dw="false" dh="false" em="false" align="left">Caf\u00e9 cr\u00e8me   3,20 \u20ac&#10;</text><feed line="2"/>' +
    '<barcode type="code128" hri="below" width="3" height="80">{BEPOS42</barcode><feed line="2"/>' +
    '<symbol type="qrcode_model_2" level="level_m" width="6">https://ostrel.example/epos</symbol>' +
    window.image() + '<cut type="feed"/>');
  const printed = await page.evaluate((u, r) => window.post(u, r), url, receipt);
  if (printed.success !== true || printed.code !== "" || !(printed.status & ASB_PRINT_SUCCESS))
    fail("the till was not told success: " + JSON.stringify(printed));

  // The job, its source and the document kept beside it.
  const jobs = await (await fetch(api + "/jobs")).json();
  if (jobs.length !== 1 || !String(jobs[0].source).startsWith("epos 127.0.0.1:"))
    fail("no ePOS-Print job listed: " + JSON.stringify(jobs));
  const kept = readdirSync(path.join(folder, "jobs")).filter((name) => name.endsWith(".xml"));
  if (kept.length !== 1 || !readFileSync(path.join(folder, "jobs", kept[0]), "utf8").includes("<epos-print"))
    fail("the document is not kept beside the job: " + JSON.stringify(kept));
  const png = Buffer.from(await (await fetch(`${api}/jobs/${jobs[0].job}.png`)).arrayBuffer());
  writeFileSync(path.join(folder, "receipt.png"), png);
  const read = execFileSync(decoder, [path.join(folder, "receipt.png")]).toString().trim().split("\n");
  if (JSON.stringify(read) !== JSON.stringify(["EPOS42", "https://ostrel.example/epos"]))
    fail("the receipt's symbols read " + JSON.stringify(read));
  const text = await printedText(api, jobs[0].job);
  if (text !== "OSTREL TILLCaf\u00e9 cr\u00e8me   3,20 \u20ac") fail("the receipt's text reads " + JSON.stringify(text));
  const report = await (await fetch(`${api}/jobs/${jobs[0].job}.report`)).json();
  if (report.not_understood_bytes !== 0 || report.cut_count !== 1)
    fail("the model did not read the job whole: " + JSON.stringify(report));

  // Paper out: the till is told so, and what it sent is kept all the same.
  const put = await fetch(api + "/state", { method: "PUT", headers: { "Content-Type": "application/json" },
                                           body: JSON.stringify({ "paper-out": true }) });
  if (!put.ok) fail("the state could not be set: " + (await put.text()));
  const out = await page.evaluate((u, r) => window.post(u, r), url, receipt);
  if (out.success !== false || out.code !== "EPTR_REC_EMPTY" || !(out.status & ASB_RECEIPT_END))
    fail("with the paper out the till was told " + JSON.stringify(out));
  const after = await (await fetch(api + "/jobs")).json();
  if (after.length !== 2) fail("the refused document was not kept: " + JSON.stringify(after));
  if (after[1].epos_answer !== "EPTR_REC_EMPTY" || after[1].epos_devid !== "local_printer")
    fail("the kept job does not say what the printer answered: " + JSON.stringify(after[1]));
  const asked = await page.evaluate((u) => window.post(u, ""), url);
  if (asked.success !== true || !(asked.status & ASB_RECEIPT_END)) fail("the status alone was told as " + JSON.stringify(asked));
  if ((await (await fetch(api + "/jobs")).json()).length !== 2) fail("the status request made a job");

  // Put offline, the printer holds the job: EX_TIMEOUT once the till's
  // timeout passes, success when it is back in time.
  const setState = (state) => fetch(api + "/state", { method: "PUT", headers: { "Content-Type": "application/json" },
                                                      body: JSON.stringify(state) });
  if (!(await setState({ "paper-out": false, "offline": true })).ok) fail("the printer could not be put offline");
  const held = await page.evaluate((u, r) => window.post(u.replace("timeout=10000", "timeout=300"), r), url, receipt);
  if (held.success !== false || held.code !== "EX_TIMEOUT") fail("offline, the till was told " + JSON.stringify(held));
  const waiting = page.evaluate((u, r) => window.post(u, r), url, receipt);
  await new Promise((resolve) => setTimeout(resolve, 200));
  if (!(await setState({ "offline": false })).ok) fail("the printer could not be put online");
  const back = await waiting;
  if (back.success !== true || !(back.status & ASB_PRINT_SUCCESS)) fail("back online, the till was told " + JSON.stringify(back));

  // A bad document: SchemaError, nothing printed.
  const bad = await page.evaluate((u) => window.post(u, '<text>x</text><paper/>'), url);
  if (bad.success !== false || bad.code !== "SchemaError") fail("a bad document was told " + JSON.stringify(bad));
  if ((await (await fetch(api + "/jobs")).json()).length !== 4) fail("a bad document made a job");

  // Another origin's page cannot post, and the refusal is said.
  const other = await browser.newPage();
  await other.goto(`http://127.0.0.1:${stranger.address().port}/`);
  const refused = await other.evaluate((u) => window.post(u, "<text>x</text>"), url);
  if (refused.success !== undefined) fail("a page of an origin not allowed could post: " + JSON.stringify(refused));
  await heard(/refused .* from origin http:\/\/127\.0\.0\.1:\d+: not one of --web-print-origin/);

  // A printer in time at 1 mm/s has not printed a tall receipt within 300 ms.
  const slow = run(["--printer", "epson-tm-t88vi", "--print-speed", "1", "--web-print", "127.0.0.1:0",
                    "--out", path.join(folder, "slow")]);
  const slowPort = Number((await slow(/ePOS-Print and WebPRNT on 127\.0\.0\.1:(\d+)/))[1]);
  const late = await page.evaluate((u, r) => window.post(u, r),
    `http://127.0.0.1:${slowPort}/cgi-bin/epos/service.cgi?devid=local_printer&timeout=300`, receipt);
  if (late.success !== false || late.code !== "EX_TIMEOUT") fail("the slow printer's till was told " + JSON.stringify(late));

  console.log("epos test passed: a till on another origin printed text, a barcode, a QR Code, an image and a cut, " +
              "read back as " + read.join(" and ") + "; paper out told as EPTR_REC_EMPTY and kept; " +
              "a bad document a SchemaError; a slow printer EX_TIMEOUT; a stranger's page refused");
} finally {
  if (browser) await browser.close();
  for (const server of [till, stranger]) if (server) server.close();
  for (const child of running) child.kill();
  rmSync(folder, { recursive: true, force: true });
}
