// The page in a real browser: a job sent over TCP appears without a reload,
// its receipt shows (and its barcode reads back), markup in a job runs
// nothing and shows as text, and ticking Paper out makes DLE EOT 4 say so;
// a logo one job stores prints in the next, and the page clears the memory.
// Then a shop of two printers on one page: both shown with their state,
// each job with the time it came, the list and the receipt side by side.
// Usage: node page_test.mjs OSTREL_CAPTURE DECODE_SYMBOLS [SCREENSHOT_FOLDER]

import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, writeFileSync, rmSync } from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const [capture, decoder, shots] = process.argv.slice(2);
const folder = mkdtempSync(path.join(os.tmpdir(), "ostrel-page-"));
const fail = (why) => { throw new Error(why); };

// ostrel-capture on free ports; its addresses from what it says.
const running = [];
const run = (args) => {
  const child = spawn(capture, args);
  running.push(child);
  let said = "";
  child.stderr.on("data", (chunk) => { said += chunk; });
  return (pattern) => new Promise((resolve, reject) => {
    const look = () => { const m = said.match(pattern); if (m) { resolve(m); return true; } return false; };
    if (look()) return;
    const timer = setTimeout(() => reject(new Error("ostrel-capture never said " + pattern + ":\n" + said)), 10000);
    child.stderr.on("data", () => { if (look()) clearTimeout(timer); });
  });
};
const heard = run(["--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--out", path.join(folder, "jobs")]);

// A job over TCP, as a point-of-sale program sends one; the replies it gets.
const print = (port, bytes) => new Promise((resolve, reject) => {
  const socket = net.connect(port, "127.0.0.1", () => socket.end(bytes));
  let replies = Buffer.alloc(0);
  socket.on("data", (data) => { replies = Buffer.concat([replies, data]); });
  socket.on("close", () => resolve(replies));
  socket.on("error", reject);
});

const esc = (...bytes) => Buffer.from(bytes);
const job = Buffer.concat([
  esc(0x1b, 0x40, 0x1b, 0x61, 0x01),
  Buffer.from("OSTREL CAFE\n<script>window.pwned = 1</script>\n<img src=x onerror=\"window.pwned = 2\">\n", "latin1"),
  esc(0x1d, 0x68, 80, 0x1d, 0x6b, 0x43, 12), Buffer.from("123456789012", "latin1"), // EAN-13: the check digit is added
  Buffer.from("\n\n\n", "latin1"), esc(0x1d, 0x56, 0x00),
]);

let browser;
try {
  const tcp = Number((await heard(/listening on 127\.0\.0\.1:(\d+)/))[1]);
  const web = Number((await heard(/on http:\/\/127\.0\.0\.1:(\d+)\//))[1]);
  browser = await puppeteer.launch({
    executablePath: "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage"],
  });
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 900 });
  const outside = [];
  let home = web;
  page.on("request", (request) => { if (!request.url().startsWith(`http://127.0.0.1:${home}/`)) outside.push(request.url()); });
  await page.goto(`http://127.0.0.1:${web}/`);
  await page.waitForSelector("#state-paper-out");

  await print(tcp, job);
  await page.waitForSelector("#jobs tbody tr", { timeout: 10000 }); // no reload
  await page.click("#jobs tbody tr");
  await page.waitForFunction(() => document.getElementById("receipt").naturalWidth > 0, { timeout: 20000 });
  await page.waitForFunction(() => document.getElementById("hex").textContent.length > 0);

  // Markup in a job is text: nothing ran, no element was made of it.
  const seen = await page.evaluate(() => ({
    pwned: window.pwned,
    images: document.querySelectorAll("img[src='x']").length,
    commands: document.getElementById("chars").textContent,
  }));
  if (seen.pwned !== undefined || seen.images !== 0) fail("markup from the job ran: " + JSON.stringify(seen));
  if (!seen.commands.includes("<script>window.pwned = 1</script>")) fail("the markup does not show as text:\n" + seen.commands);

  // A printer command chosen marks its place on the receipt: the barcode's.
  await page.waitForSelector("#model-commands button");
  const barcode = await page.evaluateHandle(() =>
    Array.from(document.querySelectorAll("#model-commands button")).find((b) => b.textContent.startsWith("GS k")));
  await barcode.click();
  const marked = await page.evaluate(() => {
    const box = document.getElementById("mark");
    return { hidden: box.hidden, width: box.offsetWidth, height: box.offsetHeight };
  });
  if (marked.hidden || marked.width < 50 || marked.height < 40) fail("the barcode's place is not marked: " + JSON.stringify(marked));

  // The receipt shown reads back.
  const png = await page.evaluate(async () => {
    const response = await fetch(document.getElementById("receipt").src);
    return Array.from(new Uint8Array(await response.arrayBuffer()));
  });
  writeFileSync(path.join(folder, "receipt.png"), Buffer.from(png));
  const read = execFileSync(decoder, [path.join(folder, "receipt.png")]).toString().trim();
  if (read !== "1234567890128") fail("the receipt's barcode reads " + read);
  if (shots) await page.screenshot({ path: path.join(shots, "page.png"), fullPage: true });

  // A second job, then the two compared; each receipt drawn beside the other.
  await print(tcp, Buffer.concat([esc(0x1b, 0x40), Buffer.from("TEA 2.00\n", "latin1"), esc(0x1d, 0x56, 0x00)]));
  await page.waitForSelector("#jobs tbody tr:nth-child(2)");
  await page.click("#jobs tbody tr:first-child");
  await page.click("#compare button");
  await page.waitForFunction(() => document.getElementById("differences").textContent.includes("differs"), { timeout: 20000 });
  await page.waitForFunction(() => document.getElementById("compare-a-receipt").naturalWidth > 0 &&
                                   document.getElementById("compare-b-receipt").naturalWidth > 0 &&
                                   document.querySelectorAll("#compare-b-commands li").length > 0, { timeout: 20000 });
  if (shots) {
    await page.setViewport({ width: 390, height: 844 });
    await page.screenshot({ path: path.join(shots, "page-phone.png"), fullPage: true });
    await page.setViewport({ width: 1000, height: 900 });
  }

  // A short receipt, then an end-of-day report too long for one image: the
  // pieces stack as the paper is, the gap after the first cut kept, and the
  // report's cut is marked at the very foot of the last piece.
  const report = ["Z report"];
  for (let i = 0; i < 1000; ++i) report.push(`line ${i} of the day's report`);
  await print(tcp, Buffer.concat([Buffer.from("TILL 3 CLOSED\n", "latin1"), esc(0x1d, 0x56, 0x00),
                                  Buffer.from(report.join("\n") + "\n", "latin1"), esc(0x1d, 0x56, 0x00)]));
  await page.waitForSelector("#jobs tbody tr:nth-child(3)");
  await page.click("#jobs tbody tr:first-child");
  await page.waitForFunction(() => document.querySelectorAll("#sheet img.piece").length > 0, { timeout: 20000 });
  await page.waitForFunction(() => Array.from(document.querySelectorAll("#model-commands button")).some((b) => b.textContent.startsWith("GS V")));
  const cut = await page.evaluateHandle(() =>
    Array.from(document.querySelectorAll("#model-commands button")).filter((b) => b.textContent.startsWith("GS V")).pop());
  await cut.click();
  const last = await page.waitForFunction(() => {
    const pieces = document.querySelectorAll("#sheet img");
    const piece = pieces[pieces.length - 1], box = document.getElementById("mark");
    return piece.naturalHeight > 0 && { pieces: pieces.length, bottom: piece.offsetTop + piece.offsetHeight,
                                        height: piece.offsetHeight, natural: piece.naturalHeight,
                                        mark: box.offsetTop + parseFloat(box.style.height) };
  }, { timeout: 20000 }).then((handle) => handle.jsonValue());
  if (last.height !== last.natural || last.mark !== last.bottom)
    fail("the long receipt's pieces do not stack as its paper: " + JSON.stringify(last));
  if (!(await page.evaluate(() => document.querySelector("#jobs tbody tr:first-child img.thumb").naturalWidth > 0)))
    fail("the long receipt has no picture in the list");

  // Paper out, ticked on the page: the printer says so at once.
  await page.click("#state-paper-out");
  await page.waitForFunction(() => document.getElementById("status").textContent.includes("paper-out on"));
  const replies = await print(tcp, esc(0x10, 0x04, 0x04));
  if (replies.toString("hex") !== "72") fail("DLE EOT 4 after Paper out answered " + replies.toString("hex"));
  if (outside.length > 0) fail("the page fetched from outside: " + outside.join(", "));

  // A logo one job stores in the printer prints in the next; the page lists
  // what the printer holds, and clears it.
  // The storing job's row may come after the memory's; both jobs' rows are
  // waited for, so the row clicked is the one that printed the logo.
  const graphics = (fn, parameters) => Buffer.concat([esc(0x1d, 0x28, 0x4c, parameters.length + 2, 0, 48, fn), parameters]);
  const rows = await page.$$eval("#jobs tbody tr", (all) => all.length);
  await print(tcp, graphics(67, Buffer.concat([Buffer.from("0LG", "latin1"), esc(1, 8, 0, 2, 0, 49, 0xff, 0x81)])));
  await page.waitForFunction(() => Array.from(document.querySelectorAll("#memory tbody td")).some((td) => td.textContent === "LG"),
                             { timeout: 10000 });
  await page.waitForFunction((count) => document.querySelectorAll("#jobs tbody tr").length > count, { timeout: 10000 }, rows);
  await print(tcp, Buffer.concat([graphics(69, Buffer.from("LG\x01\x01", "latin1")), esc(0x0a, 0x1d, 0x56, 0x00)]));
  await page.waitForFunction((count) => document.querySelectorAll("#jobs tbody tr").length > count + 1, { timeout: 10000 }, rows);
  await page.click("#jobs tbody tr:first-child");
  await page.waitForFunction(() => Array.from(document.querySelectorAll("#model-commands button"))
    .some((b) => b.textContent.includes("Print NV graphics LG (stored by an earlier job)")), { timeout: 20000 });
  page.once("dialog", (dialog) => dialog.accept());
  await page.click("#memory-clear");
  await page.waitForFunction(() => document.querySelectorAll("#memory tbody tr").length === 0 &&
                                   document.getElementById("status").textContent.includes("memory is cleared"));

  // A shop of two printers, seen on a laptop's screen.
  writeFileSync(path.join(folder, "shop.ini"), `[kitchen]\nlisten = 127.0.0.1:0\nprinter = epson-tm-t88vi\nout = ${folder}/kitchen\n` +
                `[bar.2]\nlisten = 127.0.0.1:0\nout = ${folder}/bar\nstate = paper-near-end\n`);
  const shop = run(["--config", path.join(folder, "shop.ini"), "--http", "127.0.0.1:0"]);
  const kitchen = Number((await shop(/kitchen: listening on 127\.0\.0\.1:(\d+)/))[1]);
  const bar = Number((await shop(/bar\.2: listening on 127\.0\.0\.1:(\d+)/))[1]);
  const shopWeb = Number((await shop(/on http:\/\/127\.0\.0\.1:(\d+)\//))[1]);
  await print(kitchen, job);
  await page.setViewport({ width: 1366, height: 768 });
  home = shopWeb;
  await page.goto(`http://127.0.0.1:${shopWeb}/`);
  await page.waitForSelector("#jobs tbody tr");
  await print(bar, Buffer.concat([esc(0x1b, 0x40), Buffer.from("TWO BEERS 9.00\n", "latin1"), esc(0x1d, 0x56, 0x00)]));
  await page.waitForSelector("#jobs tbody tr:nth-child(2)"); // live, from the other printer
  const cards = await page.$$eval("#shop button[data-printer]", (buttons) => buttons.map((b) => b.textContent));
  if (cards.length !== 2 || !/^kitchen.*epson-tm-t88vi.*Ready$/.test(cards[0]) || !/^bar\.2.*generic.*Paper near end$/.test(cards[1]))
    fail("the shop's printers are not shown with their model and state: " + JSON.stringify(cards));
  // Each job says when it came, the one from before the page opened too.
  const came = await page.$$eval("#jobs tbody tr", (rows) => rows.map((row) => {
    const time = row.querySelector("time");
    return { printer: row.dataset.printer, at: time && time.dateTime, shown: time && time.textContent };
  }));
  if (came.length !== 2 || came[0].printer !== "bar.2" || came[1].printer !== "kitchen" ||
      came.some((row) => !/^20\d\d-\d\d-\d\dT.*Z$/.test(row.at) || !/\d:\d\d/.test(row.shown)))
    fail("the jobs do not say when they came: " + JSON.stringify(came));
  // The list and the receipt are seen together, the commands beside the paper.
  await page.click("#jobs tbody tr:nth-child(2)");
  await page.waitForFunction(() => document.getElementById("receipt").naturalWidth > 0, { timeout: 20000 });
  await page.waitForSelector("#model-commands button");
  const boxes = await page.evaluate(() => {
    const box = (id) => { const r = document.getElementById(id).getBoundingClientRect(); return { left: r.left, right: r.right, top: r.top, bottom: r.bottom }; };
    return { list: box("jobs"), paper: box("paper"), receipt: box("receipt"), commands: box("model-commands"),
             width: window.innerWidth, height: window.innerHeight };
  });
  const inView = (b) => b.left >= 0 && b.right <= boxes.width && b.top >= 0 && b.top < boxes.height - 100;
  if (!inView(boxes.list) || !inView(boxes.receipt) || boxes.list.right > boxes.paper.left ||
      boxes.commands.left < boxes.paper.right || boxes.commands.top > boxes.paper.top + 100)
    fail("at 1366×768 the list, the receipt and its commands are not seen together: " + JSON.stringify(boxes));
  if (shots) await page.screenshot({ path: path.join(shots, "page-shop.png") });
  // A state ticked on one printer is that printer's alone.
  await page.click("#shop button[data-printer='bar.2']");
  await page.waitForFunction(() => document.getElementById("state-title").textContent === "Printer state: bar.2" &&
                                   document.querySelectorAll("#jobs tbody tr:not([hidden])").length === 1);
  await page.click("#state-paper-out");
  await page.waitForFunction(() => document.querySelector("#shop button[data-printer='bar.2']").textContent.includes("paper out"));
  const barSays = (await print(bar, esc(0x10, 0x04, 0x04))).toString("hex");
  if (barSays !== "7e") fail("the bar's paper near end and out are not said: " + barSays);
  if ((await print(kitchen, esc(0x10, 0x04, 0x04))).toString("hex") !== "12") fail("the kitchen's paper went out too");
  if (outside.length > 0) fail("the page fetched from outside: " + outside.join(", "));
  console.log("page test passed: live job, receipt read back, markup inert, two jobs compared, a long receipt in pieces, " +
              "paper out from the page, a stored logo printed by the next job and the memory cleared; a shop of two printers, each job's time, the list and the receipt seen together");
} finally {
  if (browser) await browser.close();
  for (const child of running) child.kill();
  rmSync(folder, { recursive: true, force: true });
}
