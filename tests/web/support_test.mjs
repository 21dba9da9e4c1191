// The browser driver's own parts that need no browser: PNG reading and
// writing, PSNR, crops, the file server and key events.
//   node --test tests/web/support_test.mjs
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import zlib from 'node:zlib';

import { keyEvent } from './cdp.mjs';
import { crop, decodePng, encodePng, psnr } from './png.mjs';
import { startServer } from './server.mjs';

// A PNG from its header fields and its filtered rows, as a writer would
// make it (the reader does not check CRCs, so they are left zero).
function png({ width, height, depth = 8, colour = 2, interlace = 0 }, raw) {
  const chunk = (type, data) => {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(data.length, 0);
    head.write(type, 4, 'latin1');
    return Buffer.concat([head, data, Buffer.alloc(4)]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([depth, colour, 0, 0, interlace], 8);
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
                        chunk('IDAT', zlib.deflateSync(Buffer.from(raw))), chunk('IEND', Buffer.alloc(0))]);
}

describe('decodePng', () => {
  // A 2 x 2 RGB image: the first row unfiltered, (10,20,30) (40,50,60); the
  // second row's bytes are 1..6 under each filter. Expected rows worked out
  // by hand from the filter definitions.
  const FILTERED_ROWS = [
    { filter: 0, bytes: [1, 2, 3, 4, 5, 6], row: [1, 2, 3, 4, 5, 6] },
    { filter: 1, bytes: [1, 2, 3, 4, 5, 6], row: [1, 2, 3, 5, 7, 9] },
    { filter: 2, bytes: [1, 2, 3, 4, 5, 6], row: [11, 22, 33, 44, 55, 66] },
    { filter: 2, bytes: [250, 240, 230, 0, 0, 0], row: [4, 4, 4, 40, 50, 60] },  // modulo 256
    { filter: 3, bytes: [1, 2, 3, 4, 5, 6], row: [6, 12, 18, 27, 36, 45] },
    { filter: 4, bytes: [1, 2, 3, 4, 5, 6], row: [11, 22, 33, 44, 55, 66] },
  ];
  for (const { filter, bytes, row } of FILTERED_ROWS)
    test(`filter ${filter} on bytes ${bytes.join(',')}`, () => {
      const image = decodePng(png({ width: 2, height: 2 }, [0, 10, 20, 30, 40, 50, 60, filter, ...bytes]));
      assert.deepEqual([image.width, image.height], [2, 2]);
      assert.deepEqual([...image.rgb], [10, 20, 30, 40, 50, 60, ...row]);
    });

  test('RGBA loses its alpha, and Sub steps over four bytes', () => {
    const image = decodePng(png({ width: 2, height: 1, colour: 6 }, [1, 1, 2, 3, 200, 1, 1, 1, 1]));
    assert.deepEqual([...image.rgb], [1, 2, 3, 2, 3, 4]);
  });

  const BAD = [
    ['not a PNG', Buffer.from('GIF89a........'), /not a PNG/],
    ['cut short', png({ width: 1, height: 1 }, [0, 1, 2, 3]).subarray(0, 40), /ends|past the end/],
    ['16-bit', png({ width: 1, height: 1, depth: 16 }, [0, 0, 0, 0, 0, 0, 0]), /depth 16/],
    ['palette', png({ width: 1, height: 1, colour: 3 }, [0, 0]), /colour type 3/],
    ['interlaced', png({ width: 1, height: 1, interlace: 1 }, [0, 1, 2, 3]), /interlace 1/],
    ['unknown filter', png({ width: 1, height: 1 }, [5, 1, 2, 3]), /unknown filter 5/],
    ['too little data', png({ width: 2, height: 2 }, [0, 1, 2, 3]), /expected/],
    ['huge size', png({ width: 100000, height: 100000 }, [0]), /out of range/],
    // 64 MiB of zeros behind a 1 x 1 header: refused without inflating it all.
    ['inflates far past its size', png({ width: 1, height: 1 }, Buffer.alloc(64 << 20)), /inflated|expected/],
  ];
  for (const [name, bytes, message] of BAD)
    test(`refuses: ${name}`, () => assert.throws(() => decodePng(bytes), message));
});

// Damaged files give an image of the size they claim or one clear error,
// never a crash of another kind: a seeded run of random byte changes to a
// real reference, which uses all five filters.
test('damaged PNG files are read or refused cleanly', () => {
  const original = fs.readFileSync(new URL('../golden/references/hud.png', import.meta.url));
  let seed = 12345;
  const random = (n) => {
    seed = (seed * 1103515245 + 12345) & 0x7fffffff;
    return seed % n;
  };
  const readOrRefuse = (bytes, what) => {
    try {
      const image = decodePng(bytes);
      assert.equal(image.rgb.length, image.width * image.height * 3);
    } catch (e) {
      assert.match(e.message, /PNG|inflated/, `${what}: ${e.stack}`);
    }
  };
  for (let round = 0; round < 400; ++round) {
    const bytes = Buffer.from(original);
    for (let changes = 1 + random(4); changes > 0; --changes) bytes[random(round % 2 ? 64 : bytes.length)] = random(256);
    readOrRefuse(bytes, `round ${round}`);
  }
  // Cut short anywhere in the header chunks or in the last ones.
  for (let length = 0; length < original.length; length += length < 100 || length > original.length - 60 ? 1 : 97)
    readOrRefuse(original.subarray(0, length), `cut to ${length} bytes`);
});

test('encodePng writes what decodePng reads back', () => {
  const rgb = new Uint8Array(7 * 5 * 3).map((_, i) => (i * 37 + 11) & 255);
  const image = { width: 7, height: 5, rgb };
  assert.deepEqual(decodePng(encodePng(image)), image);
});

describe('psnr', () => {
  const pixel = (...rgb) => ({ width: 1, height: 1, rgb: Uint8Array.from(rgb) });
  test('identical images are infinitely close', () => assert.equal(psnr(pixel(1, 2, 3), pixel(1, 2, 3)), Infinity));
  test('every channel as far apart as can be is 0 dB', () => assert.equal(psnr(pixel(0, 0, 0), pixel(255, 255, 255)), 0));
  test('one channel of three that far apart is 10 log10(3) dB',
       () => assert.ok(Math.abs(psnr(pixel(0, 9, 9), pixel(255, 9, 9)) - 4.7712) < 1e-4));
  test('images of different sizes are refused', () =>
    assert.throws(() => psnr(pixel(0, 0, 0), { width: 2, height: 1, rgb: new Uint8Array(6) }), /compared/));
});

test('crop takes the rectangle, rows from the top, and refuses one outside', () => {
  const image = { width: 3, height: 2, rgb: Uint8Array.from({ length: 18 }, (_, i) => i) };
  assert.deepEqual([...crop(image, { x: 1, y: 1, width: 2, height: 1 }).rgb], [12, 13, 14, 15, 16, 17]);
  assert.throws(() => crop(image, { x: 2, y: 0, width: 2, height: 1 }), /outside/);
});

describe('startServer', () => {
  let root, mounted, server;
  before(async () => {
    const top = fs.mkdtempSync(path.join(os.tmpdir(), 'nerelle-server-test-'));
    root = path.join(top, 'page');
    mounted = path.join(top, 'data');
    fs.mkdirSync(root);
    fs.mkdirSync(mounted);
    fs.writeFileSync(path.join(top, 'secret.txt'), 'outside');
    const files = { 'index.html': '<p>', 'a.js': '1', 'a.wasm': 'w', 'a.data': 'd', 'a.txt': 't', 'a.png': 'p' };
    for (const [name, text] of Object.entries(files)) fs.writeFileSync(path.join(root, name), text);
    fs.writeFileSync(path.join(mounted, 'manifest.txt'), 'time=1\n');
    server = await startServer(root, { '/datasets/x/': mounted });
  });
  after(async () => {
    await server.close();
    fs.rmSync(path.dirname(root), { recursive: true, force: true });
  });

  // A raw request: fetch() would tidy away the dot segments under test.
  const get = (target) => new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port: server.port, path: target }, (response) => {
      let body = '';
      response.on('data', (d) => { body += d; });
      response.on('end', () => resolve({ status: response.statusCode, type: response.headers['content-type'], body }));
    }).on('error', reject);
  });

  const SERVED = [
    ['/', 'text/html', '<p>'],
    ['/index.html?size=640x360', 'text/html', '<p>'],
    ['/a.js', 'text/javascript', '1'],
    ['/a.wasm', 'application/wasm', 'w'],
    ['/a.data', 'application/octet-stream', 'd'],
    ['/a.txt', 'text/plain', 't'],
    ['/a.png', 'image/png', 'p'],
    ['/datasets/x/manifest.txt', 'text/plain', 'time=1\n'],
  ];
  for (const [target, type, body] of SERVED)
    test(`serves ${target} as ${type}`, async () => {
      const answer = await get(target);
      assert.equal(answer.status, 200);
      assert.ok(answer.type.startsWith(type), answer.type);
      assert.equal(answer.body, body);
    });

  const REFUSED = ['/missing.js', '/../secret.txt', '/%2e%2e/secret.txt', '/..%2fsecret.txt',
                   '/datasets/x/../../secret.txt', '/datasets/x/%2e%2e/%2e%2e/secret.txt', '/a.js%00.txt', '/%zz'];
  for (const target of REFUSED)
    test(`answers ${target} with 404`, async () => {
      const answer = await get(target);
      assert.equal(answer.status, 404);
      assert.notEqual(answer.body, 'outside');
    });

  test('keeps the size of what it sent, "/" as index.html', async () => {
    await get('/a.wasm');
    await get('/');
    assert.equal(server.responseBytes.get('/a.wasm'), 1);
    assert.equal(server.responseBytes.get('/index.html'), 3);
  });
});

test('key events carry the code, key code and text the page reads', () => {
  const KEYS = [
    ['n', { key: 'n', code: 'KeyN', keyCode: 78, text: 'n' }],
    [' ', { key: ' ', code: 'Space', keyCode: 32, text: ' ' }],
    [']', { key: ']', code: 'BracketRight', keyCode: 221, text: ']' }],
    ['Home', { key: 'Home', code: 'Home', keyCode: 36 }],
  ];
  for (const [key, event] of KEYS) assert.deepEqual(keyEvent(key), event);
  assert.throws(() => keyEvent('F13'), /no key event/);
});
