// The page around the show: the start screen (poster frame, length, chapters, warning, keys)
// while the program and its datafile download; the show (and its sound) on a click or tap,
// from the beginning or from a chapter; the picture scaled with crisp pixels, in proportion; full
// screen; the chapter menu during the show; the credits when it ends.
//
// The address says where the show is: index.html#Skull opens at Skull, and while the show runs
// the fragment follows the scene on screen, so a copied link opens there. Every run is a fresh
// instance of the program (createTidewater), made from the bytes downloaded once.
//
// Query parameters (developers and tests): ?args=--start%205  passes arguments to the program;
// &autostart=1 starts without the click (a browser allows sound then only if told to).
"use strict";

const params = new URLSearchParams(location.search);
const baseArgs = (params.get("args") || "").split(" ").filter((a) => a.length > 0);
// Runs on a fixed clock or without sound need no audio context.
const silent = baseArgs.some((a) => ["--headless", "--shots", "--benchmark", "--capture", "--mute"].includes(a));
const $ = (id) => document.getElementById(id);
const canvas = $("canvas");

// State the tests read: the program's output, the exit code, the audio worklet's reports, the
// frames presented and a copy of the first one.
const tidewater = (window.tidewater = {stdout: [], exitCode: null, reports: [], frames: 0, firstFrame: null,
                                       ready: null, ended: null, chapters: [], muted: false});
let endShow;
tidewater.ended = new Promise((resolve) => (endShow = resolve));

// ---- the picture ---------------------------------------------------------------------------------

function fit() {
    // Windowed: the largest whole scale that fits (device pixels), so every pixel is the same
    // size. Full screen: as large as the screen allows. Always in proportion.
    const dpr = window.devicePixelRatio || 1;
    const w = window.innerWidth * dpr, h = window.innerHeight * dpr;
    let scale = Math.min(w / 320, h / 200);
    if (!document.fullscreenElement && scale >= 1)
        scale = Math.floor(scale);
    canvas.style.width = (320 * scale) / dpr + "px";
    canvas.style.height = (200 * scale) / dpr + "px";
}
window.addEventListener("resize", fit);
window.addEventListener("orientationchange", fit);
document.addEventListener("fullscreenchange", fit);
fit();

function toggleFullscreen() {
    if (document.fullscreenElement)
        document.exitFullscreen().catch(() => {});
    else if (document.documentElement.requestFullscreen)
        document.documentElement.requestFullscreen({navigationUI: "hide"}).catch(() => {});
}
canvas.addEventListener("dblclick", toggleFullscreen);
$("full").addEventListener("click", toggleFullscreen);

// Touch: a double tap on the picture toggles full screen; a tap wakes the menu. Nothing on the
// stage scrolls or zooms (touch-action: none).
let lastTap = 0;
$("stage").addEventListener("touchend", (e) => {
    e.preventDefault();
    const now = performance.now();
    if (now - lastTap < 350) {
        toggleFullscreen();
        lastTap = 0;
    } else {
        lastTap = now;
        wake();
    }
}, {passive: false});

// The menu and the full-screen button show while the pointer moves, and hide again.
let sleepTimer = 0;
function wake() {
    document.body.classList.add("awake");
    clearTimeout(sleepTimer);
    sleepTimer = setTimeout(() => document.body.classList.remove("awake"), 2500);
}
document.addEventListener("mousemove", wake);

function notice(text) {
    $("notice").textContent = text;
    $("notice").classList.remove("hidden");
    setTimeout(() => $("notice").classList.add("hidden"), 8000);
}

// ---- downloads -----------------------------------------------------------------------------------

const got = new Map();  // name -> bytes, kept across retries
let sizes = null;       // manifest.json: every file's size (the server may send them compressed,
                        // and then the length it announces is not what arrives)

const mb = (n) => (n / 1048576).toFixed(1);

// One file, with the loading bar; a failure says which file and what happened.
async function fetchFile(name, progress) {
    let response;
    try {
        response = await fetch(name, {cache: "no-cache"});
    } catch (e) {
        throw new Error(`${name} could not be fetched: the network is not reachable.`);
    }
    if (response.status === 404)
        throw new Error(`${name} is missing on the server (404 Not Found).`);
    if (!response.ok)
        throw new Error(`The server failed to send ${name} (${response.status} ${response.statusText}).`.replace(" )", ")"));
    const expected = sizes && sizes[name];
    const parts = [];
    let length = 0;
    try {
        const reader = response.body.getReader();
        for (;;) {
            const {done, value} = await reader.read();
            if (done)
                break;
            parts.push(value);
            length += value.length;
            progress(value.length);
        }
    } catch (e) {
        length = -length - 1;
    }
    if (length < 0 || (expected && length !== expected)) {
        const had = length < 0 ? -length - 1 : length;
        throw new Error(`The connection was lost part way through ${name}` +
                        (expected ? ` (${mb(had)} of ${mb(expected)} MB).` : "."));
    }
    const bytes = new Uint8Array(length);
    let at = 0;
    for (const p of parts) {
        bytes.set(p, at);
        at += p.length;
    }
    return bytes;
}

// Every file not yet here, behind one progress bar.
async function download(names) {
    if (!sizes)
        sizes = JSON.parse(new TextDecoder().decode(await fetchFile("manifest.json", () => {})));
    const missing = names.filter((n) => !got.has(n));
    const total = missing.reduce((sum, n) => sum + (sizes[n] || 0), 0) || 1;
    let done = 0;
    const progress = (n) => {
        done += n;
        $("fill").style.width = Math.min(100, (100 * done) / total) + "%";
    };
    // All at once; each that arrives is kept, so a retry fetches only what failed.
    const results = await Promise.allSettled(missing.map((n) => fetchFile(n, progress).then((b) => got.set(n, b))));
    const failed = results.find((r) => r.status === "rejected");
    if (failed)
        throw failed.reason;
}

// ---- the program ---------------------------------------------------------------------------------

let factory = null;   // createTidewater from tidewater.js
let workletUrl = null;
let program = null;   // the instance that runs (or will run) the show
let running = false;
let pendingChapter = null;  // a chapter chosen during the show: the next run starts there
let audioContext = null;
let muted = silent;

function loadScript(text) {
    // From the downloaded bytes, so every run uses the same version of the program.
    const s = document.createElement("script");
    s.src = URL.createObjectURL(new Blob([text], {type: "text/javascript"}));
    return new Promise((resolve, reject) => {
        s.onload = resolve;
        s.onerror = () => reject(new Error("tidewater.js did not load."));
        document.body.appendChild(s);
    });
}

// A fresh program with the datafile in place, ready for callMain.
function instantiate() {
    let instance = null;
    const onFrame = () => {
        // The show's frames only (not the loading bar's), of the run on screen.
        if (instance !== program || !instance.frameLoopRunning)
            return;
        if (tidewater.frames++ === 0)
            tidewater.firstFrame = canvas.getContext("2d").getImageData(0, 0, 320, 200).data;
        if ((tidewater.frames & 15) === 1)
            followScene();
    };
    return factory({
        canvas: canvas,
        wasmBinary: got.get("tidewater.wasm"),
        noInitialRun: true,
        print: (line) => tidewater.stdout.push(line),
        printErr: (line) => console.warn(line),
        onAbort: (what) => problem(`The program stopped: ${what}`, false),
        onShowEnded: (rc) => showEnded(instance, rc),
        onAudioReport: (m) => tidewater.reports.length < 100000 && tidewater.reports.push(m),
        onFrame: onFrame,
    }).then((M) => {
        // The program looks for its datafile in the current directory.
        M.FS.writeFile("/qx-tdwt.dat", got.get("qx-tdwt.dat"));
        instance = M;
        return M;
    });
}

// ---- chapters ------------------------------------------------------------------------------------

const clock = (s) => Math.floor(s / 60) + ":" + String(Math.floor(s % 60)).padStart(2, "0");

// The program's own timeline, in playing order (page_chapters).
function readChapters(M) {
    const lines = M.ccall("page_chapters", "string", [], []).trim().split("\n");
    const all = lines.filter((l) => l).map((l) => {
        const [name, order, row, seconds] = l.split(" ");
        return {name, order: Number(order), row: Number(row), seconds: Number(seconds)};
    });
    const end = all.find((c) => c.name === "end");
    return {chapters: all.filter((c) => c !== end), length: end ? end.seconds : 0};
}

function chapterNamed(name) {
    name = decodeURIComponent(name || "").toLowerCase();
    return tidewater.chapters.find((c) => c.name.toLowerCase() === name) || null;
}

// The chapter the address asks for; an unknown name means the beginning.
function wantedChapter() {
    return chapterNamed(location.hash.slice(1));
}

function listChapters(list, onPick) {
    list.textContent = "";
    for (const c of tidewater.chapters) {
        const a = document.createElement("a");
        a.href = "#" + c.name;
        a.dataset.name = c.name;
        a.innerHTML = `<span></span><time></time>`;
        a.firstChild.textContent = c.name;
        a.lastChild.textContent = clock(c.seconds);
        a.addEventListener("click", (e) => {
            e.preventDefault();
            onPick(c);
        });
        if (list.tagName === "OL") {
            const li = document.createElement("li");
            li.appendChild(a);
            list.appendChild(li);
        } else {
            list.appendChild(a);
        }
    }
}

function markChapter(name) {
    for (const a of document.querySelectorAll("#chapters a, #menu a"))
        a.classList.toggle("chosen", a.dataset.name === name);
    $("scene").textContent = name || "chapters";
}

// While the show runs, the address names the scene on screen.
let shownScene = "";
function followScene() {
    const name = program.ccall("page_scene", "string", [], []);
    if (!name || name === shownScene)
        return;
    shownScene = name;
    history.replaceState(null, "", location.pathname + location.search + "#" + name);
    markChapter(name);
}

function pickChapter(c) {
    history.replaceState(null, "", location.pathname + location.search + "#" + c.name);
    closeMenu();
    if (running) {
        // The run ends as a closed window ends it; showEnded starts the next one there.
        pendingChapter = c;
        program._glint_webClose();
    } else {
        startShow(c);
    }
}

function closeMenu() {
    $("menu").classList.add("hidden");
    $("menuwrap").classList.remove("open");
    $("menubutton").setAttribute("aria-expanded", "false");
}
function toggleMenu() {
    const open = $("menu").classList.toggle("hidden") === false;
    $("menuwrap").classList.toggle("open", open);
    $("menubutton").setAttribute("aria-expanded", String(open));
}
$("menubutton").addEventListener("click", toggleMenu);
document.addEventListener("keydown", (e) => {
    if (running && (e.key === "c" || e.key === "C") && !e.ctrlKey && !e.metaKey && !e.altKey)
        toggleMenu();
});
window.addEventListener("hashchange", () => {
    const c = wantedChapter();
    if (c && running && c.name !== shownScene)
        pickChapter(c);
    else if (!running)
        markChapter(c ? c.name : "");
});

// ---- running the show ----------------------------------------------------------------------------

// Sound needs an AudioContext started from a click or tap. When it will not start, the show plays
// muted and says so.
async function startAudio() {
    if (muted || audioContext)
        return;
    try {
        const ctx = new AudioContext({sampleRate: 44100, latencyHint: "interactive"});
        await ctx.audioWorklet.addModule(workletUrl);
        const started = ctx.resume().then(() => ctx.state === "running");
        const waited = new Promise((resolve) => setTimeout(() => resolve(false), 3000));
        if (!(await Promise.race([started, waited]))) {
            ctx.close().catch(() => {});
            throw new Error("not running");
        }
        audioContext = ctx;
    } catch (e) {
        muted = true;
        tidewater.muted = true;
        notice("The sound could not be started, so the show plays muted.");
    }
}

async function startShow(chapter) {
    $("front").classList.add("hidden");
    $("credits").classList.add("hidden");
    canvas.focus();
    await startAudio();
    if (!program)
        program = await instantiate();
    tidewater.module = program;
    program.audioContext = audioContext;
    const args = baseArgs.slice();
    if (chapter)
        args.push("--start", chapter.order + ":" + chapter.row);
    if (muted && !silent)
        args.push("--mute");
    tidewater.stdout.length = 0;
    shownScene = "";
    running = true;
    const rc = program.callMain(args);
    // Without a frame loop (a bad option, --help, a failed start) the program has ended already.
    if (!program.frameLoopRunning)
        showEnded(program, rc);
}

function showEnded(instance, rc) {
    if (instance !== program || !running)
        return;
    running = false;
    program = null;
    if (pendingChapter) {
        const c = pendingChapter;
        pendingChapter = null;
        startShow(c);
        return;
    }
    tidewater.exitCode = rc;
    // The program prints its credits banner when it ends: that is the end screen.
    $("banner").textContent = tidewater.stdout.join("\n");
    $("credits").classList.remove("hidden");
    endShow(rc);
    // The next run is ready before it is asked for.
    instantiate().then((M) => (program = program || M));
}

$("again").addEventListener("click", () => {
    history.replaceState(null, "", location.pathname + location.search);
    startShow(null);
});
$("choose").addEventListener("click", () => {
    $("credits").classList.add("hidden");
    $("front").classList.remove("hidden");
    markChapter("");
});

// Hidden and shown again: the music played on, the picture rejoins it at once (the timeline moves
// to the scene being heard, and the time away is not taken as one long frame).
document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "visible" && running && program) {
        program._glint_webShown();
        program._page_rejoin();
    }
});

// ---- loading -------------------------------------------------------------------------------------

function problem(text, retry) {
    $("front").classList.remove("hidden");
    $("progress").classList.add("hidden");
    $("problemtext").textContent = text;
    $("retry").classList.toggle("hidden", !retry);
    $("problem").classList.remove("hidden");
}

async function load() {
    $("problem").classList.add("hidden");
    $("progress").classList.remove("hidden");
    $("status").textContent = "loading the show";
    await download(["tidewater.js", "tidewater.wasm", "audio-worklet.js", "qx-tdwt.dat"]);
    $("status").textContent = "starting";
    if (!factory) {
        await loadScript(got.get("tidewater.js"));
        factory = window.createTidewater;
        workletUrl = URL.createObjectURL(new Blob([got.get("audio-worklet.js")], {type: "text/javascript"}));
    }
    program = await instantiate();
    tidewater.module = program;
    const {chapters, length} = readChapters(program);
    tidewater.chapters = chapters;
    $("length").textContent = length ? " \u00b7 " + clock(length) : "";
}

function ready() {
    $("progress").classList.add("hidden");
    listChapters($("chapters"), pickChapter);
    listChapters($("menu"), pickChapter);
    const wanted = wantedChapter();
    markChapter(wanted ? wanted.name : "");
    if (wanted)
        $("play").innerHTML = "&#9654; Play from " + wanted.name;
    else if (location.hash)
        history.replaceState(null, "", location.pathname + location.search);  // unknown: the beginning
    $("play").classList.remove("hidden");
    $("play").focus();
    $("play").addEventListener("click", () => startShow(wantedChapter()));
    if (params.get("autostart"))
        startShow(wanted);
    // Offline next time: a service worker keeps this version's files (registered once the page
    // has what it needs, so it does not compete with the download). A newer version waiting to
    // take over may do so now: this page holds everything in memory.
    if ("serviceWorker" in navigator && window.isSecureContext) {
        navigator.serviceWorker.register("sw.js").then((reg) => {
            const takeOver = () => reg.waiting && reg.waiting.postMessage("take-over");
            takeOver();
            reg.addEventListener("updatefound", () => {
                const w = reg.installing;
                w && w.addEventListener("statechange", takeOver);
            });
        }, () => {});
    }
}

function begin() {
    tidewater.ready = load().then(ready, (e) => {
        problem(e.message, true);
        return new Promise((resolve) => (retryLoad = resolve));
    });
}
let retryLoad = null;
$("retry").addEventListener("click", () => {
    const resolve = retryLoad;
    load().then(() => {
        ready();
        resolve && resolve();
    }, (e) => problem(e.message, true));
});

// What this browser lacks, in one sentence, before anything is fetched.
if (typeof WebAssembly !== "object") {
    problem("This browser cannot run WebAssembly, which the show is built on.", false);
} else {
    if (!silent && (typeof AudioContext === "undefined" || !("audioWorklet" in AudioContext.prototype))) {
        muted = true;
        tidewater.muted = true;
        $("sentence").textContent = "This browser offers no audio worklets (they need a secure https address), " +
                                    "so the show plays without sound.";
        $("sentence").classList.remove("hidden");
    }
    begin();
}
