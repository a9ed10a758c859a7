// Runs the web build in headless Chromium for the checks (tests/test_web.cpp, tests/test_golden.cpp
// call it through ./test --web). Serves the site on 127.0.0.1, loads the page, and does one job:
//
//   node driver.mjs run SITE OUTDIR ARG...   runs the program with ARG... (for example --shots ...
//                                             --out /shots), copies what it wrote below /shots into
//                                             OUTDIR, prints its output; exits with its exit code
//   node driver.mjs music SITE               renders the music offline in the browser and prints
//                                             "music FRAMES HASH"
//   node driver.mjs live SITE SECONDS [CHAPTER]
//                                             plays the show with sound for SECONDS (from the
//                                             chapter's link #CHAPTER), then Escape; prints "live
//                                             ..." figures of the polled position against the
//                                             audio clock
//   node driver.mjs page SITE [SHOTDIR]      the page as people use it, in one browser: files
//                                             that fail and a retry, chapters and links, a hidden
//                                             tab, offline after one visit, a phone; prints "page
//                                             ..." lines (SHOTDIR: screenshots of the start screen)
//   node driver.mjs frames SITE SECONDS ORDER THROTTLE
//                                             plays the show with sound from ORDER for SECONDS with
//                                             the CPU slowed THROTTLE times (as a phone is), and
//                                             prints "frames ..." figures of the animation frames:
//                                             how many, and how many came later than 1.5 frames
//                                             of the display's rate after the one before
//   node driver.mjs profile SITE OUTFILE ARG...
//                                             runs the program with ARG... under the browser's
//                                             profiler; writes its .cpuprofile to OUTFILE and
//                                             prints the functions that took the most time
//                                             (named when the site is linked with
//                                             CMAKE_EXE_LINKER_FLAGS=--profiling-funcs)
//
// Environment: TIDEWATER_NPM (folder with node_modules/puppeteer-core; default build-web/npm),
// CHROMIUM (default /usr/bin/chromium).
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {createRequire} from "node:module";
import url from "node:url";

import {serve} from "../serve.mjs";

const npm = process.env.TIDEWATER_NPM || path.join(path.dirname(url.fileURLToPath(import.meta.url)), "../../build-web/npm");
const require = createRequire(path.resolve(npm, "node_modules", "x.js"));
const puppeteer = require("puppeteer-core");

function fail(message) {
    console.log("driver: " + message);
    process.exit(2);
}

const [job, site, ...rest] = process.argv.slice(2);
if (!job || !site || !fs.existsSync(path.join(site, "index.html")))
    fail("usage: driver.mjs run SITE OUTDIR ARG... | music SITE | live SITE SECONDS [CHAPTER] | page SITE [SHOTDIR] | frames SITE SECONDS ORDER THROTTLE | profile SITE OUTFILE ARG... (see the file)");

function launch(profile) {
    return puppeteer.launch({
        executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
        headless: true,
        userDataDir: profile,
        args: ["--no-sandbox", "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--no-first-run", "--disable-quic", "--autoplay-policy=no-user-gesture-required",
               "--disable-background-timer-throttling", "--disable-renderer-backgrounding"],
    });
}

// The page's errors: uncaught exceptions and console errors (the browser's own note of a failed
// request is not the page's error: the failures below are made on purpose).
function collectErrors(page, errors) {
    page.on("pageerror", (e) => errors.push(e.message));
    page.on("console", (m) => m.type() === "error" && !/^Failed to load resource/.test(m.text()) && errors.push(m.text()));
}

// before(page), when given, runs before the page is opened (throttling, profiling).
async function withPage(query, body, before) {
    const {server, url} = await serve(site, 0);
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "tidewater-chromium-"));
    const browser = await launch(profile);
    try {
        const page = await browser.newPage();
        const errors = [];
        collectErrors(page, errors);
        await page.setViewport({width: 960, height: 600});
        if (before)
            await before(page);
        await page.goto(url + "index.html" + query, {waitUntil: "load"});
        await page.waitForFunction(() => window.tidewater && window.tidewater.module, {timeout: 120000});
        return await body(page, errors);
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
}

async function runJob() {
    const outDir = rest[0];
    const args = rest.slice(1);
    if (!outDir)
        fail("run needs an output folder");
    const query = "?autostart=1&args=" + encodeURIComponent(args.join(" "));
    return withPage(query, async (page, errors) => {
        const rc = await page.evaluate(() => window.tidewater.ended);
        const result = await page.evaluate(() => {
            const FS = window.tidewater.module.FS;
            const files = {};
            if (FS.analyzePath("/shots").exists) {
                for (const name of FS.readdir("/shots")) {
                    if (name === "." || name === "..")
                        continue;
                    const bytes = FS.readFile("/shots/" + name);
                    let text = "";
                    for (let i = 0; i < bytes.length; i += 0x8000)
                        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
                    files[name] = btoa(text);
                }
            }
            return {stdout: window.tidewater.stdout, files};
        });
        fs.mkdirSync(outDir, {recursive: true});
        for (const [name, b64] of Object.entries(result.files))
            fs.writeFileSync(path.join(outDir, name), Buffer.from(b64, "base64"));
        for (const line of result.stdout)
            console.log(line);
        for (const e of errors)
            console.log("page error: " + e);
        return rc;
    });
}

async function musicJob() {
    return withPage("", async (page) => {
        const result = await page.evaluate(() => window.tidewater.module.ccall("webcheck_music", "string", [], []));
        console.log("music " + result);
        return result === "failed" ? 1 : 0;
    });
}

// In the page, window.heardNow(): [the position the program polls, the music frame being heard
// by the audio clock] (the context's output timestamp, with the music's frames placed by the
// worklet's latest report of a played frame; a gap in the sound moves it on).
function installHeard() {
    window.heardNow = () => {
        const t = window.tidewater, M = t.module, ctx = M.audioContext;
        let last = null;
        for (let i = t.reports.length - 1; i >= 0 && !last; i--)
            if (t.reports[i].playing)
                last = t.reports[i];
        const frame0 = last.frame - last.pos;
        const pos = M.ccall("webcheck_position", "number", [], []) >>> 0;
        const ts = ctx.getOutputTimestamp();
        const heard = ts.contextTime + Math.max(0, performance.now() - ts.performanceTime) / 1000;
        return [pos, heard * ctx.sampleRate - frame0];
    };
}

// The row timing of the music (from the program in the page), the sample rate, and where the
// music heard starts: a run from CHAPTER seeks there, and the frames from the seek's `frame` on
// (numbered from the device's opening, those the seek dropped included) play the music from the
// chapter's position.
async function rowInfo(page, chapter) {
    return page.evaluate((chapter) => {
        const t = window.tidewater, M = t.module;
        const last = t.reports[t.reports.length - 1];
        const c = chapter ? t.chapters.find((x) => x.name === chapter) : {order: 0, row: 0};
        const seek = {frame: chapter ? M.tidewaterAudioState.seekFrame : 0, order: c.order, row: c.row};
        return {rows: M.ccall("webcheck_rowTimes", "string", [], []), late: last.late,
                rate: M.audioContext.sampleRate, seek};
    }, chapter);
}

// How far the polled rows stray from the rows heard: samples are [pos, heard frame] pairs.
function compareRows(samples, info) {
    // Rows in playing order with their start times; the index of a row is its rank.
    const rows = info.rows.trim().split("\n").map((l) => l.split(" ").map(Number));
    const rank = new Map();
    rows.forEach(([o, r], i) => rank.has((o << 16) | r) || rank.set((o << 16) | r, i));  // the first time
    const {seek} = info;
    const from = rows[rank.get((seek.order << 16) | seek.row)][2];  // the music's time at the seek
    const rowAt = (frame) => {
        const t = from + (frame - seek.frame) / info.rate;
        let lo = 0, hi = rows.length - 1;
        while (lo < hi) {
            const mid = (lo + hi + 1) >> 1;
            if (rows[mid][2] <= t)
                lo = mid;
            else
                hi = mid - 1;
        }
        return lo;
    };
    let worst = 0, unknown = 0, counted = 0;
    for (const [pos, frame] of samples) {
        if (frame < seek.frame)
            continue;  // before the music's first frame (after the seek) reached the speaker
        const polled = rank.get(pos);
        if (polled === undefined) {
            unknown++;
            continue;
        }
        worst = Math.max(worst, Math.abs(polled - rowAt(frame)));
        counted++;
    }
    return {worst, unknown, counted};
}

// Every animation frame for SECONDS: the polled position against the row being heard.
async function liveJob() {
    const seconds = Number(rest[0] || 30);
    return withPage("?autostart=1" + (rest[1] ? "#" + rest[1] : ""), async (page, errors) => {
        await page.waitForFunction(() => window.tidewater.reports.some((r) => r.playing), {timeout: 60000});
        await page.evaluate(installHeard);
        const samples = await page.evaluate((seconds) => new Promise((resolve) => {
            const out = [];
            const start = performance.now();
            const tick = () => {
                out.push(window.heardNow());
                if (performance.now() - start < seconds * 1000)
                    requestAnimationFrame(tick);
                else
                    resolve(out);
            };
            requestAnimationFrame(tick);
        }), seconds);
        const info = await rowInfo(page, rest[1]);
        // Held for a few frames, as a hand would: the program looks for keys once per frame.
        await page.keyboard.down("Escape");
        await new Promise((resolve) => setTimeout(resolve, 150));
        await page.keyboard.up("Escape");
        const rc = await page.evaluate(() => window.tidewater.ended);
        const banner = await page.evaluate(() => window.tidewater.stdout.length);
        const {worst, unknown, counted} = compareRows(samples, info);
        const lastPos = samples.length ? samples[samples.length - 1][0] : 0;
        console.log(`live frames ${samples.length} counted ${counted} worst ${worst} unknown ${unknown} late ${info.late} ` +
                    `last ${lastPos >>> 16}:${lastPos & 0xFFFF} exit ${rc} banner ${banner} errors ${errors.length}`);
        for (const e of errors)
            console.log("page error: " + e);
        return 0;
    });
}

// FNV-1a 64 over the RGB bytes of RGBA pixels, as tests/test_golden.cpp hashes a frame.
function frameHash(rgba) {
    let h = 0xcbf29ce484222325n;
    for (let i = 0; i < rgba.length; i++) {
        if ((i & 3) === 3)
            continue;
        h ^= BigInt(rgba[i]);
        h = (h * 0x100000001b3n) & 0xFFFFFFFFFFFFFFFFn;
    }
    return h.toString(16).padStart(16, "0");
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The page as people use it, in one browser launch; each part in its own browser context (its
// own storage and service workers). Prints "page ..." lines for tests/test_web.cpp.
async function pageJob() {
    const shotDir = rest[0];
    // What the server does wrong, by file name: "404", "500", "cut" (the connection drops half
    // way), or "*": "offline" (every connection drops, as with the network off).
    const rules = {};
    const {server, url} = await serve(site, 0, (name, req, res) => {
        const rule = rules["*"] || rules[name];
        if (!rule)
            return false;
        if (rule === "offline") {
            req.socket.destroy();
        } else if (rule === "cut") {
            const bytes = fs.readFileSync(path.join(site, name));
            res.writeHead(200, {"Content-Type": "application/octet-stream", "Content-Length": bytes.length,
                                "Cache-Control": "no-cache"});
            res.write(bytes.subarray(0, bytes.length >> 1), () => setTimeout(() => req.socket.destroy(), 50));
        } else {
            res.writeHead(Number(rule), {"Content-Type": "text/plain"});
            res.end(rule + "\n");
        }
        return true;
    });
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), "tidewater-chromium-"));
    const browser = await launch(profile);
    const errors = [];
    const open = async (query, viewport = {width: 960, height: 600}) => {
        const context = await browser.createBrowserContext();
        const page = await context.newPage();
        collectErrors(page, errors);
        await page.setViewport(viewport);
        await page.goto(url + "index.html" + query, {waitUntil: "load"});
        return {context, page};
    };
    const loaded = (page) => page.waitForFunction(() => window.tidewater && window.tidewater.chapters.length > 0,
                                                  {timeout: 120000});
    try {
        // A file that does not arrive: the message names it; the retry works once it is back.
        for (const [file, rule] of [["qx-tdwt.dat", "404"], ["qx-tdwt.dat", "500"], ["tidewater.wasm", "cut"]]) {
            rules[file] = rule;
            const {context, page} = await open("");
            await page.waitForSelector("#problem:not(.hidden)", {timeout: 60000});
            const text = await page.$eval("#problemtext", (e) => e.textContent);
            delete rules[file];
            await page.click("#retry");
            await loaded(page);
            const play = await page.$eval("#play", (e) => !e.classList.contains("hidden"));
            console.log(`page failure ${rule} ${file} retry ${play ? "plays" : "stuck"} message ${text}`);
            await context.close();
        }

        // A link to a chapter: the first frame is the scene's first frame; the chapter list; the
        // address follows the show; the menu during the show.
        {
            const {context, page} = await open("?autostart=1#Skull");
            await loaded(page);
            await page.waitForFunction(() => window.tidewater.frames > 0 && window.tidewater.reports.some((r) => r.playing),
                                       {timeout: 60000});
            const first = await page.evaluate(() => Array.from(window.tidewater.firstFrame));
            const names = await page.evaluate(() => window.tidewater.chapters.map((c) => c.name).join(","));
            await page.waitForFunction(() => location.hash === "#Skull", {timeout: 10000});
            console.log(`page chapters ${names}`);
            console.log(`page link #Skull first ${frameHash(first)} address ${await page.evaluate(() => location.hash)}`);

            // The menu during the show: another chapter starts there, and the address says so.
            await page.evaluate(() => document.querySelector('#menu a[data-name="Rings"]').click());
            await page.waitForFunction(() => location.hash === "#Rings" && window.tidewater.module &&
                                       window.tidewater.module.ccall("page_scene", "string", [], []) === "Rings",
                                       {timeout: 30000});
            console.log(`page menu Rings address ${await page.evaluate(() => location.hash)}`);
            await context.close();
        }

        // Offline after one visit, and an unknown name starts from the beginning; then a hidden tab.
        {
            const {context, page} = await open("");
            await loaded(page);
            await page.evaluate(() => navigator.serviceWorker.ready);
            rules["*"] = "offline";
            await page.goto(url + "index.html?autostart=1#Nowhere", {waitUntil: "load"});
            await loaded(page);
            await page.waitForFunction(() => window.tidewater.frames > 60, {timeout: 60000});
            const state = await page.evaluate(() => ({
                hash: location.hash,
                pos: window.tidewater.module.ccall("webcheck_position", "number", [], []) >>> 0,
                frames: window.tidewater.frames}));
            console.log(`page offline frames ${state.frames} address ${state.hash || "-"} at ${state.pos >>> 16}:${state.pos & 0xFFFF}`);

            // Hidden for 5 s, then shown: on the next frame the picture is back with the music.
            await page.evaluate(installHeard);
            const other = await context.newPage();
            await other.bringToFront();
            const hidden = await page.evaluate(() => document.visibilityState);
            await sleep(5000);
            const back = page.evaluate(() => new Promise((resolve) => {
                document.addEventListener("visibilitychange", () =>
                    requestAnimationFrame(() => resolve(window.heardNow())), {once: true});
            }));
            await page.bringToFront();
            const sample = await back;
            const info = await rowInfo(page);
            const {worst, counted} = compareRows([sample], info);
            const pos = sample[0];
            console.log(`page hidden ${hidden} then shown: worst ${worst} counted ${counted} at ${pos >>> 16}:${pos & 0xFFFF}`);
            await other.close();

            delete rules["*"];
            await context.close();
        }

        // A phone: tap starts; the whole picture in proportion, upright and turned; no scroll or zoom.
        {
            const phone = {width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true};
            const {context, page} = await open("", phone);
            await loaded(page);
            if (shotDir) {
                fs.mkdirSync(shotDir, {recursive: true});
                await page.screenshot({path: path.join(shotDir, "start-phone.png")});
            }
            await page.tap("#play");
            await page.waitForFunction(() => window.tidewater.frames > 10, {timeout: 60000});
            for (const [label, vp] of [["upright", phone], ["turned", {...phone, width: 844, height: 390}]]) {
                await page.setViewport(vp);
                await sleep(300);
                const r = await page.evaluate(() => {
                    const b = document.getElementById("canvas").getBoundingClientRect();
                    return {x: b.left, y: b.top, w: b.width, h: b.height, vw: innerWidth, vh: innerHeight,
                            scroll: document.scrollingElement.scrollTop + document.scrollingElement.scrollLeft,
                            zoom: visualViewport.scale};
                });
                const whole = r.x >= 0 && r.y >= 0 && r.x + r.w <= r.vw + 0.5 && r.y + r.h <= r.vh + 0.5;
                console.log(`page phone ${label} ${whole ? "whole" : "cut"} ratio ${(r.w / r.h).toFixed(3)} ` +
                            `width ${Math.round(r.w)} of ${r.vw} scroll ${r.scroll} zoom ${r.zoom}`);
            }
            await context.close();
        }
        // A browser that lacks something: one sentence says what, and what can play plays muted.
        const lacks = {
            webassembly: () => delete window.WebAssembly,
            worklet: () => delete BaseAudioContext.prototype.audioWorklet,
            sound: () => (AudioContext.prototype.resume = () => new Promise(() => {})),  // never starts
        };
        for (const [what, take] of Object.entries(lacks)) {
            const context = await browser.createBrowserContext();
            const page = await context.newPage();
            collectErrors(page, errors);
            await page.evaluateOnNewDocument(take);
            await page.goto(url + "index.html?autostart=1", {waitUntil: "load"});
            if (what !== "webassembly")
                await page.waitForFunction(() => window.tidewater.frames > 10, {timeout: 60000});
            const said = await page.evaluate(() => ["problemtext", "sentence", "notice"]
                .map((id) => document.getElementById(id).textContent).join("").trim());
            const frames = await page.evaluate(() => window.tidewater.frames);
            console.log(`page lacking ${what} frames ${frames} says ${said}`);
            await context.close();
        }
        if (shotDir) {
            const {context, page} = await open("", {width: 1280, height: 800});
            await loaded(page);
            await page.screenshot({path: path.join(shotDir, "start-desktop.png")});
            await context.close();
        }
    } finally {
        await browser.close();
        server.close();
        fs.rmSync(profile, {recursive: true, force: true});
    }
    console.log(`page errors ${errors.length}`);
    for (const e of errors)
        console.log("page error: " + e);
    return 0;
}

// The animation frames of a live run: every interval between two, taken in the page's own
// requestAnimationFrame callbacks, which run in the same task as the program's frame. A frame is
// dropped when its interval exceeds 1.5 times the display's (the first 2 s, loading the scene,
// are not counted). The display's interval is the median one of an idle page before the show.
async function framesJob() {
    const seconds = Number(rest[0] || 30);
    const order = Number(rest[1] || 15);
    const throttle = Number(rest[2] || 1);
    const query = "?autostart=1&args=" + encodeURIComponent("--start " + order);
    return withPage(query, async (page, errors) => {
        await page.waitForFunction(() => window.tidewater.reports.some((r) => r.playing), {timeout: 60000});
        const intervals = await page.evaluate((seconds) => new Promise((resolve) => {
            const out = [];
            let last = 0;
            const start = performance.now();
            const tick = (now) => {
                if (last && now - start > 2000)
                    out.push(now - last);
                last = now;
                if (now - start < (seconds + 2) * 1000)
                    requestAnimationFrame(tick);
                else
                    resolve(out);
            };
            requestAnimationFrame(tick);
        }), seconds);
        const sorted = [...intervals].sort((a, b) => a - b);
        const median = sorted[sorted.length >> 1] || 0;
        const period = 1000 / 60;
        const dropped = intervals.filter((t) => t > 1.5 * period).length;
        // Frames the display showed no new picture in: each long interval stands for round(t / period) - 1.
        const missed = intervals.reduce((n, t) => n + Math.max(0, Math.round(t / period) - 1), 0);
        const pos = await page.evaluate(() => window.tidewater.module.ccall("webcheck_position", "number", [], []) >>> 0)
            .catch(() => 0);
        console.log(`frames ${intervals.length} median ${median.toFixed(2)} ms worst ${sorted[sorted.length - 1].toFixed(1)} ms ` +
                    `late ${dropped} (${(100 * dropped / intervals.length).toFixed(2)} %) missed ${missed} ` +
                    `(${(100 * missed / (intervals.length + missed)).toFixed(2)} %) throttle ${throttle} ` +
                    `last ${pos >>> 16}:${pos & 0xFFFF} errors ${errors.length}`);
        for (const e of errors)
            console.log("page error: " + e);
        return 0;
    }, async (page) => {
        const cdp = await page.createCDPSession();
        await cdp.send("Emulation.setCPUThrottlingRate", {rate: throttle});
    });
}

// The program under the browser's sampling profiler: self time per function, from the profile's
// samples (WebAssembly functions are named when the build keeps its names, --profiling-funcs).
async function profileJob() {
    const outFile = rest[0];
    const args = rest.slice(1);
    if (!outFile)
        fail("profile needs an output file");
    const query = "?autostart=1&args=" + encodeURIComponent(args.join(" "));
    let cdp;
    return withPage(query, async (page, errors) => {
        await page.evaluate(() => window.tidewater.ended);
        const {profile} = await cdp.send("Profiler.stop");
        fs.writeFileSync(outFile, JSON.stringify(profile));
        const self = new Map();
        const byId = new Map(profile.nodes.map((n) => [n.id, n]));
        const counts = new Map();
        for (const id of profile.samples)
            counts.set(id, (counts.get(id) || 0) + 1);
        let total = 0;
        for (const [id, n] of counts) {
            const name = byId.get(id).callFrame.functionName || "(anonymous)";
            self.set(name, (self.get(name) || 0) + n);
            total += n;
        }
        for (const [name, n] of [...self].sort((a, b) => b[1] - a[1]).slice(0, 25))
            console.log(`${(100 * n / total).toFixed(1).padStart(5)} %  ${name}`);
        for (const line of await page.evaluate(() => window.tidewater.stdout))
            console.log(line);
        for (const e of errors)
            console.log("page error: " + e);
        return 0;
    }, async (page) => {
        cdp = await page.createCDPSession();
        await cdp.send("Profiler.enable");
        await cdp.send("Profiler.setSamplingInterval", {interval: 200});
        await cdp.send("Profiler.start");
    });
}

const jobs = {run: runJob, music: musicJob, live: liveJob, page: pageJob, frames: framesJob, profile: profileJob};
if (!jobs[job])
    fail("unknown job " + job);
jobs[job]().then((rc) => process.exit(rc), (e) => fail(e.stack || e.message));
