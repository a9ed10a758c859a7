// Serves the built page (build-web/site) on 127.0.0.1 only, compressed: a file F is sent as its
// precompressed F.gz (made by the build) to every browser that accepts gzip.
//   node web/serve.mjs SITE_DIR [PORT]        PORT 0 (default 8080) picks a free one
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import url from "node:url";

const Types = {
    ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8", ".wasm": "application/wasm",
    ".json": "application/json", ".css": "text/css", ".dat": "application/octet-stream",
    ".png": "image/png", ".webmanifest": "application/manifest+json",
};

// Starts the server; resolves to {server, url} once it listens. `intercept(name, req, res)`, if
// given, sees every request first (the checks use it to make files fail) and returns true when
// it has answered.
export function serve(root, port = 8080, intercept = null) {
    root = path.resolve(root);
    const server = http.createServer((req, res) => {
        let name = decodeURIComponent(new URL(req.url, "http://x").pathname);
        if (name.endsWith("/"))
            name += "index.html";
        if (intercept && intercept(name.slice(1), req, res))
            return;
        const file = path.join(root, path.normalize(name));
        if (!file.startsWith(root + path.sep) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
            res.writeHead(404, {"Content-Type": "text/plain"});
            res.end("not found\n");
            return;
        }
        // Cross-origin isolated (everything here is same-origin anyway): the browser's clock then
        // resolves microseconds instead of a tenth of a millisecond, which the frame timings need.
        const headers = {"Content-Type": Types[path.extname(file)] || "application/octet-stream",
                         "Cache-Control": "no-cache", "Vary": "Accept-Encoding",
                         "Cross-Origin-Opener-Policy": "same-origin", "Cross-Origin-Embedder-Policy": "require-corp"};
        let body = file;
        if (/\bgzip\b/.test(req.headers["accept-encoding"] || "") && fs.existsSync(file + ".gz")) {
            body = file + ".gz";
            headers["Content-Encoding"] = "gzip";
        }
        // Revalidation by size and time (the service worker asks with "no-cache"): an unchanged
        // file is not sent twice.
        const stat = fs.statSync(body);
        headers["ETag"] = `"${stat.size.toString(16)}-${Math.floor(stat.mtimeMs).toString(16)}"`;
        if (req.headers["if-none-match"] === headers["ETag"]) {
            res.writeHead(304, headers);
            res.end();
            return;
        }
        headers["Content-Length"] = stat.size;
        res.writeHead(200, headers);
        if (req.method === "HEAD")
            res.end();
        else
            fs.createReadStream(body).pipe(res);
    });
    return new Promise((resolve, reject) => {
        server.once("error", reject);
        server.listen(port, "127.0.0.1", () =>
            resolve({server, url: `http://127.0.0.1:${server.address().port}/`}));
    });
}

if (process.argv[1] === url.fileURLToPath(import.meta.url)) {
    const [root, port] = process.argv.slice(2);
    if (!root || !fs.existsSync(path.join(root, "index.html"))) {
        console.log("serve: no page in " + root + " (build it with ./run --web)");
        process.exit(1);
    }
    serve(root, port === undefined ? 8080 : Number(port)).then(
        ({url}) => console.log(`serve: the show is at ${url}  (Ctrl-C stops the server)`),
        (e) => { console.log("serve: " + e.message); process.exit(1); });
}
