// A static file server for the browser tests, on 127.0.0.1 at a free port.
// It serves one directory at "/" and others mounted under URL prefixes, and
// keeps the size of the largest response per URL path (the page's download
// size; "/" counts as "/index.html").
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const CONTENT_TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.txt': 'text/plain; charset=utf-8',
  '.png': 'image/png',
};

export function contentType(file) {
  return CONTENT_TYPES[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
}

// The file a URL path names under `root`, or null when it would leave it.
export function resolveInside(root, urlPath) {
  let decoded;
  try {
    decoded = decodeURIComponent(urlPath);
  } catch {
    return null;
  }
  if (decoded.includes('\0')) return null;
  const base = path.resolve(root);
  const file = path.resolve(base, '.' + path.posix.normalize('/' + decoded));
  return file === base || file.startsWith(base + path.sep) ? file : null;
}

// mounts: {'/datasets/x/': '/some/dir', ...}; the longest matching prefix wins.
export function startServer(root, mounts = {}) {
  const prefixes = Object.keys(mounts).sort((a, b) => b.length - a.length);
  const responseBytes = new Map();

  function locate(urlPath) {
    for (const prefix of prefixes)
      if (urlPath.startsWith(prefix)) return resolveInside(mounts[prefix], urlPath.slice(prefix.length));
    return resolveInside(root, urlPath);
  }

  const server = http.createServer((request, response) => {
    const urlPath = new URL(request.url, 'http://localhost').pathname;
    let file = locate(urlPath);
    let stat = null;
    try {
      if (file && fs.statSync(file).isDirectory()) file = path.join(file, 'index.html');
      stat = file && fs.statSync(file);
    } catch {
      stat = null;
    }
    if (!stat || !stat.isFile() || (request.method !== 'GET' && request.method !== 'HEAD')) {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found\n');
      return;
    }
    response.writeHead(200, {
      'Content-Type': contentType(file),
      'Content-Length': stat.size,
      'Cache-Control': 'no-store',
      // Harmless for a page without threads, needed by one with them.
      'Cross-Origin-Opener-Policy': 'same-origin',
      'Cross-Origin-Embedder-Policy': 'require-corp',
    });
    if (request.method === 'HEAD') {
      response.end();
      return;
    }
    const name = urlPath.endsWith('/') ? urlPath + 'index.html' : urlPath;
    let sent = 0;
    const stream = fs.createReadStream(file);
    stream.on('data', (chunk) => {
      sent += chunk.length;
    });
    stream.on('end', () => responseBytes.set(name, Math.max(sent, responseBytes.get(name) ?? 0)));
    stream.on('error', () => response.destroy());
    stream.pipe(response);
  });

  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      resolve({
        port,
        origin: `http://127.0.0.1:${port}`,
        responseBytes,
        close: () => new Promise((done) => {
          server.closeAllConnections();
          server.close(() => done());
        }),
      });
    });
  });
}
