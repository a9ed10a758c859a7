// The page's service worker: keeps one version of the site in a cache named after it, so that
// after one visit the show plays with the network off. The build writes the version (named by the
// files' contents) and the file list into this file; a new deploy therefore changes this file,
// and the browser installs the new worker beside the old one. The new one fills its own cache
// first; it takes over when the page says it holds everything it needs in memory (or when no page
// of the old version is open), and then deletes the old caches, so no page ever mixes versions.
"use strict";

const Version = "@VERSION@";
const Files = @FILES@;
const Cache = "tidewater-" + Version;

self.addEventListener("install", (event) => {
    // "no-cache": revalidated with the server, so an unchanged file costs no second download.
    event.waitUntil(caches.open(Cache).then((cache) =>
        Promise.all(["./", ...Files].map((name) =>
            fetch(name, {cache: "no-cache"}).then((response) => {
                if (!response.ok)
                    throw new Error(name + ": " + response.status);
                return cache.put(name, response);
            })))));
});

self.addEventListener("activate", (event) => {
    event.waitUntil(caches.keys()
        .then((keys) => Promise.all(keys.filter((k) => k.startsWith("tidewater-") && k !== Cache)
                                        .map((k) => caches.delete(k))))
        .then(() => self.clients.claim()));
});

// A page that has loaded (everything is in its memory) lets a waiting new version take over.
self.addEventListener("message", (event) => {
    if (event.data === "take-over")
        self.skipWaiting();
});

// This version's files from the cache (the address's query and fragment do not matter);
// anything else from the network.
self.addEventListener("fetch", (event) => {
    const request = event.request;
    if (request.method !== "GET" || new URL(request.url).origin !== location.origin)
        return;
    event.respondWith(caches.open(Cache)
        .then((cache) => cache.match(request.mode === "navigate" ? "./" : request, {ignoreSearch: true}))
        .then((hit) => hit || fetch(request)));
});
