// A small WebSocket client for the DevTools connection, for a Node without
// the built-in one (Debian's Node 18 has none): text messages over one
// socket, as the browser's end sends them. The same events and methods as
// the built-in client where the driver uses them.
import crypto from 'node:crypto';
import { EventEmitter } from 'node:events';
import http from 'node:http';

export class SmallWebSocket {
  constructor(url) {
    this.events = new EventEmitter();
    this.buffer = Buffer.alloc(0);
    this.parts = [];  // fragments of a message in progress
    this.socket = null;
    const key = crypto.randomBytes(16).toString('base64');
    const request = http.get(url.replace(/^ws:/, 'http:'), {
      headers: { Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13', 'Sec-WebSocket-Key': key },
    });
    request.on('upgrade', (response, socket, head) => {
      this.socket = socket;
      socket.on('data', (data) => this.receive(data));
      socket.on('close', () => this.emit('close'));
      socket.on('error', () => this.emit('error'));
      this.emit('open');
      if (head.length) this.receive(head);
    });
    request.on('response', () => this.emit('error'));  // no upgrade
    request.on('error', () => this.emit('error'));
  }

  addEventListener(type, listener, options = {}) {
    if (options.once) this.events.once(type, listener);
    else this.events.on(type, listener);
  }

  emit(type, data) {
    this.events.emit(type, { data });
  }

  // Frames as RFC 6455 has them; the browser's are never masked.
  receive(data) {
    this.buffer = Buffer.concat([this.buffer, data]);
    for (;;) {
      if (this.buffer.length < 2) return;
      const fin = (this.buffer[0] & 0x80) !== 0, opcode = this.buffer[0] & 0x0f;
      let length = this.buffer[1] & 0x7f, at = 2;
      if (length === 126) {
        if (this.buffer.length < 4) return;
        length = this.buffer.readUInt16BE(2);
        at = 4;
      } else if (length === 127) {
        if (this.buffer.length < 10) return;
        length = Number(this.buffer.readBigUInt64BE(2));
        at = 10;
      }
      if (this.buffer.length < at + length) return;
      const payload = this.buffer.subarray(at, at + length);
      this.buffer = this.buffer.subarray(at + length);
      if (opcode === 0x8) {
        this.close();
      } else if (opcode === 0x9) {
        this.write(0xa, payload);  // pong
      } else if (opcode === 0x0 || opcode === 0x1 || opcode === 0x2) {
        this.parts.push(Buffer.from(payload));
        if (fin) {
          const message = Buffer.concat(this.parts).toString('utf8');
          this.parts = [];
          this.emit('message', message);
        }
      }
    }
  }

  // One masked frame, as a client must send.
  write(opcode, payload) {
    if (!this.socket || this.socket.destroyed) return;
    const mask = crypto.randomBytes(4);
    const header = payload.length < 126 ? Buffer.from([0x80 | opcode, 0x80 | payload.length])
      : payload.length < 65536 ? Buffer.from([0x80 | opcode, 0x80 | 126, payload.length >> 8, payload.length & 0xff])
        : Buffer.concat([Buffer.from([0x80 | opcode, 0x80 | 127]), (() => {
          const b = Buffer.alloc(8);
          b.writeBigUInt64BE(BigInt(payload.length));
          return b;
        })()]);
    const masked = Buffer.from(payload);
    for (let i = 0; i < masked.length; ++i) masked[i] ^= mask[i & 3];
    this.socket.write(Buffer.concat([header, mask, masked]));
  }

  send(text) {
    this.write(0x1, Buffer.from(text, 'utf8'));
  }

  close() {
    if (this.socket && !this.socket.destroyed) {
      this.write(0x8, Buffer.alloc(0));
      this.socket.end();
    }
  }
}
