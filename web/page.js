// The page around the show: downloads the program and its datafile behind a loading bar, starts
// the show (and its sound) on a click, scales the 320 x 200 picture with crisp pixels, keeps it
// in proportion, goes full screen, and shows the credits when the show ends.
//
// Query parameters (developers and tests): ?args=--start%205  passes arguments to the program;
// &autostart=1 starts without the click (a browser allows sound then only if told to).
"use strict";

const params = new URLSearchParams(location.search);
const args = (params.get("args") || "").split(" ").filter((a) => a.length > 0);
// Runs on a fixed clock or without sound need no audio context.
const silent = args.some((a) => ["--headless", "--shots", "--benchmark", "--capture", "--mute"].includes(a));
const $ = (id) => document.getElementById(id);
const canvas = $("canvas");

// State the tests read: the program's output, the exit code, the audio worklet's reports.
const tidewater = (window.tidewater = {stdout: [], exitCode: null, reports: [], ready: null, ended: null});
let endShow;
tidewater.ended = new Promise((resolve) => (endShow = resolve));

function fit() {
    // Windowed: the largest whole scale that fits (device pixels), so every pixel is the same
    // size. Full screen: as large as the screen allows, still in proportion.
    const dpr = window.devicePixelRatio || 1;
    const w = window.innerWidth * dpr, h = window.innerHeight * dpr;
    let scale = Math.min(w / 320, h / 200);
    if (!document.fullscreenElement && scale >= 1)
        scale = Math.floor(scale);
    canvas.style.width = (320 * scale) / dpr + "px";
    canvas.style.height = (200 * scale) / dpr + "px";
}
window.addEventListener("resize", fit);
document.addEventListener("fullscreenchange", fit);
fit();

function toggleFullscreen() {
    if (document.fullscreenElement)
        document.exitFullscreen();
    else
        document.documentElement.requestFullscreen().catch(() => {});
}
canvas.addEventListener("dblclick", toggleFullscreen);
$("full").addEventListener("click", toggleFullscreen);

// Downloads with one progress bar over every file (sizes from manifest.json: the server may
// send them compressed, and then the length it announces is not what arrives).
async function download(names) {
    const sizes = await (await fetch("manifest.json")).json();
    const total = names.reduce((sum, n) => sum + (sizes[n] || 0), 0) || 1;
    let got = 0;
    const one = async (name) => {
        const response = await fetch(name);
        if (!response.ok)
            throw new Error(name + ": " + response.status + " " + response.statusText);
        const reader = response.body.getReader();
        const parts = [];
        let length = 0;
        for (;;) {
            const {done, value} = await reader.read();
            if (done)
                break;
            parts.push(value);
            length += value.length;
            got += value.length;
            $("fill").style.width = Math.min(100, (100 * got) / total) + "%";
        }
        const bytes = new Uint8Array(length);
        let at = 0;
        for (const p of parts) {
            bytes.set(p, at);
            at += p.length;
        }
        return bytes;
    };
    return Promise.all(names.map(one));
}

function loadScript(src) {
    return new Promise((resolve, reject) => {
        const s = document.createElement("script");
        s.src = src;
        s.onload = resolve;
        s.onerror = () => reject(new Error(src + " did not load"));
        document.body.appendChild(s);
    });
}

async function load() {
    const [wasm, datafile] = await download(["tidewater.wasm", "qx-tdwt.dat"]);
    $("status").textContent = "starting";
    await new Promise((resolve, reject) => {
        window.Module = {
            canvas: canvas,
            wasmBinary: wasm,
            noInitialRun: true,
            print: (line) => tidewater.stdout.push(line),
            printErr: (line) => console.warn(line),
            onRuntimeInitialized: () => {
                // The program looks for its datafile in the current directory.
                Module.FS.writeFile("/qx-tdwt.dat", datafile);
                resolve();
            },
            onAbort: (what) => reject(new Error("the program stopped: " + what)),
            onShowEnded: showEnded,
            onAudioReport: (m) => tidewater.reports.length < 100000 && tidewater.reports.push(m),
        };
        loadScript("tidewater.js").catch(reject);
    });
    tidewater.module = window.Module;
}

async function startShow() {
    $("start").classList.add("hidden");
    $("credits").classList.add("hidden");
    canvas.focus();
    if (!silent) {
        // Browsers start sound only from a click (or with autoplay allowed): the context is made
        // here, at 44100 Hz, the rate the music is rendered at.
        const ctx = new AudioContext({sampleRate: 44100, latencyHint: "interactive"});
        await ctx.audioWorklet.addModule("audio-worklet.js");
        await ctx.resume();
        Module.audioContext = ctx;
    }
    tidewater.stdout.length = 0;
    const rc = Module.callMain(args);
    // Without a frame loop (a bad option, --help, a failed start) the program has ended already.
    if (!Module.frameLoopRunning)
        showEnded(rc);
}

function showEnded(rc) {
    tidewater.exitCode = rc;
    if (Module.audioContext) {
        Module.audioContext.close();
        Module.audioContext = null;
    }
    // The program prints its credits banner when it ends: that is the end screen.
    $("banner").textContent = tidewater.stdout.join("\n");
    $("credits").classList.remove("hidden");
    endShow(rc);
}

tidewater.ready = load().then(
    () => {
        $("loading").classList.add("hidden");
        if (params.get("autostart")) {
            startShow();
            return;
        }
        $("start").classList.remove("hidden");
        $("start").addEventListener("click", startShow, {once: true});
    },
    (e) => {
        $("status").textContent = e.message;
        throw e;
    });

// Watching again means loading again: the program runs once per page.
$("credits").addEventListener("click", () => location.reload());
