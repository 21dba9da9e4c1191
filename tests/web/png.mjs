// PNG reading and writing for the browser tests: 8-bit RGB/RGBA,
// non-interlaced, which is what the browser's screenshots and the desktop
// references are. Images are {width, height, rgb} with rgb a Uint8Array of
// width * height * 3 bytes, rows from the top.
import zlib from 'node:zlib';

const SIGNATURE = Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]);

function paeth(a, b, c) {
  const p = a + b - c;
  const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Throws an Error with one line saying what is wrong with the file.
export function decodePng(bytes) {
  const buf = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (buf.length < 8 || !buf.subarray(0, 8).equals(SIGNATURE)) throw new Error('not a PNG file');
  let header = null;
  const idat = [];
  for (let at = 8; ; ) {
    if (at + 8 > buf.length) throw new Error('PNG ends before its IEND chunk');
    const length = buf.readUInt32BE(at);
    const type = buf.toString('latin1', at + 4, at + 8);
    if (at + 12 + length > buf.length) throw new Error(`PNG chunk ${type} runs past the end of the file`);
    const data = buf.subarray(at + 8, at + 8 + length);
    at += 12 + length;
    if (type === 'IHDR') {
      if (length !== 13) throw new Error('PNG header of the wrong length');
      header = {
        width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8],
        colour: data[9], interlace: data[12],
      };
    } else if (type === 'IDAT') {
      idat.push(data);
    } else if (type === 'IEND') {
      break;
    }
  }
  if (!header) throw new Error('PNG without a header');
  const { width, height, depth, colour, interlace } = header;
  if (depth !== 8 || (colour !== 2 && colour !== 6) || interlace !== 0)
    throw new Error(`PNG of depth ${depth}, colour type ${colour}, interlace ${interlace}: ` +
                    'only 8-bit RGB/RGBA non-interlaced is read');
  if (width === 0 || height === 0 || width > 16384 || height > 16384)
    throw new Error(`PNG of ${width} x ${height} pixels is out of range`);
  const channels = colour === 6 ? 4 : 3;
  const stride = width * channels;
  const expected = (stride + 1) * height;
  let raw;
  try {
    // The bound keeps a crafted stream from inflating without limit.
    raw = zlib.inflateSync(Buffer.concat(idat), { maxOutputLength: expected + 1 });
  } catch (e) {
    throw new Error(`PNG image data cannot be inflated: ${e.message}`);
  }
  if (raw.length !== expected) throw new Error(`PNG image data of ${raw.length} bytes, ${expected} expected`);

  const rgb = new Uint8Array(width * height * 3);
  let previous = new Uint8Array(stride);
  let line = new Uint8Array(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const src = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? line[i - channels] : 0;
      const b = previous[i];
      const c = i >= channels ? previous[i - channels] : 0;
      let predictor;
      switch (filter) {
        case 0: predictor = 0; break;
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) >> 1; break;
        case 4: predictor = paeth(a, b, c); break;
        default: throw new Error(`PNG row ${y} has unknown filter ${filter}`);
      }
      line[i] = (src[i] + predictor) & 255;
    }
    for (let x = 0; x < width; ++x)
      for (let k = 0; k < 3; ++k) rgb[(y * width + x) * 3 + k] = line[x * channels + k];
    [previous, line] = [line, previous];
  }
  return { width, height, rgb };
}

const CRC_TABLE = (() => {
  const table = new Int32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c;
  }
  return table;
})();

function crc32(bytes) {
  let c = -1;
  for (const byte of bytes) c = CRC_TABLE[(c ^ byte) & 255] ^ (c >>> 8);
  return (c ^ -1) >>> 0;
}

function chunk(type, data) {
  const out = Buffer.alloc(12 + data.length);
  out.writeUInt32BE(data.length, 0);
  out.write(type, 4, 'latin1');
  data.copy(out, 8);
  out.writeUInt32BE(crc32(out.subarray(4, 8 + data.length)), 8 + data.length);
  return out;
}

// RGB, unfiltered rows: these files are written only to be looked at.
export function encodePng({ width, height, rgb }) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8;
  header[9] = 2;
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; ++y)
    Buffer.from(rgb.buffer, rgb.byteOffset + y * width * 3, width * 3).copy(raw, y * (width * 3 + 1) + 1);
  return Buffer.concat([SIGNATURE, chunk('IHDR', header), chunk('IDAT', zlib.deflateSync(raw)),
                        chunk('IEND', Buffer.alloc(0))]);
}

// Over the RGB channels, as the desktop tests measure it: infinite when the
// images are identical.
export function psnr(a, b) {
  if (a.width !== b.width || a.height !== b.height)
    throw new Error(`images of ${a.width} x ${a.height} and ${b.width} x ${b.height} pixels compared`);
  let sum = 0;
  for (let i = 0; i < a.rgb.length; ++i) {
    const d = a.rgb[i] - b.rgb[i];
    sum += d * d;
  }
  return sum === 0 ? Infinity : 10 * Math.log10((255 * 255 * a.rgb.length) / sum);
}

export function crop(image, { x, y, width, height }) {
  if (x < 0 || y < 0 || x + width > image.width || y + height > image.height)
    throw new Error(`crop ${width} x ${height} at ${x},${y} outside an image of ${image.width} x ${image.height}`);
  const rgb = new Uint8Array(width * height * 3);
  for (let row = 0; row < height; ++row) {
    const from = ((y + row) * image.width + x) * 3;
    rgb.set(image.rgb.subarray(from, from + width * 3), row * width * 3);
  }
  return { width, height, rgb };
}

// |a - b| per channel, times 8, so that small differences show.
export function difference(a, b) {
  const rgb = new Uint8Array(a.rgb.length);
  for (let i = 0; i < rgb.length; ++i) rgb[i] = Math.min(255, 8 * Math.abs(a.rgb[i] - b.rgb[i]));
  return { width: a.width, height: a.height, rgb };
}
