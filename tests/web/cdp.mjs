// A small DevTools-protocol client driving a headless chromium: launch,
// one page, commands by id, console and exception events, and the few input
// and capture helpers the browser tests need.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { SmallWebSocket } from './websocket.mjs';

const CHROMIUM = process.env.NERELLE_CHROMIUM || '/usr/bin/chromium';
// Software rasterising on a loaded machine starts slowly; this only keeps a
// broken command from hanging the run.
const COMMAND_TIMEOUT_MS = 120_000;

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

function withTimeout(promise, ms, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: no answer in ${ms / 1000} s`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

// The text of a console call's arguments, as the console would show it.
function consoleText(args) {
  return args.map((a) => (a.value !== undefined ? String(a.value) : a.description ?? a.type)).join(' ');
}

// What an evaluation threw or rejected with, in one line.
export function exceptionMessage(details) {
  const e = details.exception;
  const text = e ? (e.value !== undefined ? String(e.value) : e.description ?? details.text) : details.text;
  return String(text).split('\n')[0];
}

// What a key press sends: key, code, Windows key code and, for a character,
// its text (without it the page sees no character).
const SPECIAL_KEYS = {
  Home: { code: 'Home', keyCode: 36 },
  End: { code: 'End', keyCode: 35 },
  Escape: { code: 'Escape', keyCode: 27 },
  Enter: { code: 'Enter', keyCode: 13, text: '\r' },
  ' ': { code: 'Space', keyCode: 32, text: ' ' },
  '[': { code: 'BracketLeft', keyCode: 219, text: '[' },
  ']': { code: 'BracketRight', keyCode: 221, text: ']' },
  ',': { code: 'Comma', keyCode: 188, text: ',' },
  '.': { code: 'Period', keyCode: 190, text: '.' },
};

export function keyEvent(key) {
  if (SPECIAL_KEYS[key]) return { key, ...SPECIAL_KEYS[key] };
  if (/^[a-z]$/.test(key)) return { key, code: 'Key' + key.toUpperCase(), keyCode: key.toUpperCase().charCodeAt(0), text: key };
  if (/^[0-9]$/.test(key)) return { key, code: 'Digit' + key, keyCode: key.charCodeAt(0), text: key };
  throw new Error(`no key event known for ${JSON.stringify(key)}`);
}

class Connection {
  constructor(socket) {
    this.socket = socket;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = new Map();
    this.closedReason = null;
    socket.addEventListener('message', (event) => this.receive(JSON.parse(event.data)));
    socket.addEventListener('close', () => this.fail('the DevTools connection closed'));
    socket.addEventListener('error', () => this.fail('the DevTools connection failed'));
  }

  static open(url) {
    return new Promise((resolve, reject) => {
      const socket = new SmallWebSocket(url);
      socket.addEventListener('open', () => resolve(new Connection(socket)), { once: true });
      socket.addEventListener('error', () => reject(new Error(`cannot connect to ${url}`)), { once: true });
    });
  }

  receive(message) {
    if (message.id !== undefined) {
      const waiter = this.pending.get(message.id);
      if (!waiter) return;
      this.pending.delete(message.id);
      if (message.error) waiter.reject(new Error(`${waiter.method}: ${message.error.message}`));
      else waiter.resolve(message.result);
    } else if (message.method) {
      for (const listener of this.listeners.get(message.method) ?? []) listener(message.params);
    }
  }

  fail(reason) {
    this.closedReason ??= reason;
    for (const waiter of this.pending.values()) waiter.reject(new Error(`${waiter.method}: ${reason}`));
    this.pending.clear();
  }

  send(method, params = {}, timeoutMs = COMMAND_TIMEOUT_MS) {
    if (this.closedReason) return Promise.reject(new Error(`${method}: ${this.closedReason}`));
    const id = this.nextId++;
    const answer = new Promise((resolve, reject) => this.pending.set(id, { method, resolve, reject }));
    this.socket.send(JSON.stringify({ id, method, params }));
    return withTimeout(answer, timeoutMs, method).finally(() => this.pending.delete(id));
  }

  on(method, listener) {
    if (!this.listeners.has(method)) this.listeners.set(method, []);
    this.listeners.get(method).push(listener);
    return () => this.listeners.set(method, this.listeners.get(method).filter((l) => l !== listener));
  }

  waitFor(method, timeoutMs = COMMAND_TIMEOUT_MS) {
    let off;
    const event = new Promise((resolve) => {
      off = this.on(method, (params) => resolve(params));
    });
    return withTimeout(event, timeoutMs, `waiting for ${method}`).finally(() => off());
  }

  close() {
    try {
      this.socket.close();
    } catch {
      // already closed
    }
  }
}

// The page's console lines ({level, text}) and uncaught exceptions, kept
// from the last navigation on.
export class Page {
  constructor(connection) {
    this.cdp = connection;
    this.console = [];
    connection.on('Runtime.consoleAPICalled', ({ type, args }) =>
      this.console.push({ level: type, text: consoleText(args) }));
    connection.on('Log.entryAdded', ({ entry }) =>
      this.console.push({ level: entry.level, text: entry.url ? `${entry.text}: ${entry.url}` : entry.text,
                          source: entry.source }));
    // A promise rejected before anything awaits it is reported, then
    // revoked once something handles it: only what stays counts.
    this.thrown = new Map();
    connection.on('Runtime.exceptionThrown', ({ exceptionDetails }) =>
      this.thrown.set(exceptionDetails.exceptionId, exceptionMessage(exceptionDetails)));
    connection.on('Runtime.exceptionRevoked', ({ exceptionId }) => this.thrown.delete(exceptionId));
  }

  // Uncaught exceptions since the last navigation.
  get exceptions() {
    return [...this.thrown.values()];
  }

  async setUp(width, height) {
    await this.cdp.send('Page.enable');
    await this.cdp.send('Runtime.enable');
    await this.cdp.send('Log.enable');
    await this.cdp.send('Emulation.setDeviceMetricsOverride',
                        { width, height, deviceScaleFactor: 1, mobile: false });
    // A headless window without focus would get no key events.
    await this.cdp.send('Emulation.setFocusEmulationEnabled', { enabled: true });
  }

  async navigate(url) {
    this.console = [];
    this.thrown.clear();
    const loaded = this.cdp.waitFor('Page.loadEventFired');
    const { errorText } = await this.cdp.send('Page.navigate', { url });
    if (errorText) throw new Error(`cannot open ${url}: ${errorText}`);
    await loaded;
  }

  // The expression's value; a throw or a rejection becomes an Error with the
  // page's message.
  async evaluate(expression, timeoutMs = COMMAND_TIMEOUT_MS) {
    const { result, exceptionDetails } = await this.cdp.send(
      'Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true }, timeoutMs);
    if (exceptionDetails) throw new Error(exceptionMessage(exceptionDetails));
    return result.value;
  }

  // PNG bytes of the page's pixels in the rectangle, at one pixel per CSS pixel.
  async screenshot({ x, y, width, height }) {
    const { data } = await this.cdp.send('Page.captureScreenshot',
                                         { format: 'png', clip: { x, y, width, height, scale: 1 } });
    return Buffer.from(data, 'base64');
  }

  async press(key) {
    const { code, keyCode, text } = keyEvent(key);
    const common = { key, code, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode };
    await this.cdp.send('Input.dispatchKeyEvent', { type: 'keyDown', ...common, ...(text ? { text } : {}) });
    await this.cdp.send('Input.dispatchKeyEvent', { type: 'keyUp', ...common });
  }

  // A left-button drag in `steps` moves.
  async drag(from, to, steps = 8) {
    const mouse = (type, x, y, extra = {}) =>
      this.cdp.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', ...extra });
    await mouse('mouseMoved', from.x, from.y, { button: 'none' });
    await mouse('mousePressed', from.x, from.y, { buttons: 1, clickCount: 1 });
    for (let i = 1; i <= steps; ++i)
      await mouse('mouseMoved', from.x + ((to.x - from.x) * i) / steps, from.y + ((to.y - from.y) * i) / steps,
                  { buttons: 1 });
    await mouse('mouseReleased', to.x, to.y, { buttons: 0, clickCount: 1 });
  }

  // The page's error lines, for telling why something failed.
  consoleErrors() {
    return this.console.filter(({ level }) => level === 'error').map(({ text }) => text);
  }

  // Whether a console line from the `from`th on matches.
  consoleHas(pattern, from = 0) {
    return this.console.slice(from).some(({ text }) =>
      (typeof pattern === 'string' ? text.includes(pattern) : pattern.test(text)));
  }

  // Waits until a console line from the `from`th on matches, for at most `ms`.
  async waitForConsole(pattern, from = 0, ms = 10_000) {
    for (const end = Date.now() + ms; Date.now() < end; await sleep(50))
      if (this.consoleHas(pattern, from)) return true;
    return this.consoleHas(pattern, from);
  }
}

// One chromium with one page. close() must run whatever happens (it kills
// the browser's process group and removes its profile directory);
// killNow() does the same synchronously for process exit.
export class Browser {
  constructor(child, profile) {
    this.child = child;
    this.profile = profile;
    this.stderr = '';
    this.startError = null;
    this.exited = new Promise((resolve) => {
      child.once('exit', resolve);
      child.once('error', (e) => {  // it could not be started at all
        this.startError = e;
        resolve();
      });
    });
    child.stderr.on('data', (d) => {
      this.stderr = (this.stderr + d).slice(-4000);
    });
  }

  static async launch({ width, height }) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'nerelle-web-'));
    const child = spawn(CHROMIUM, [
      '--headless=new', '--no-sandbox', '--enable-unsafe-swiftshader', '--use-angle=swiftshader',
      '--remote-debugging-port=0', `--user-data-dir=${profile}`, `--window-size=${width},${height}`,
      '--hide-scrollbars', '--mute-audio', '--no-first-run', 'about:blank',
    ], { detached: true, stdio: ['ignore', 'ignore', 'pipe'] });
    const browser = new Browser(child, profile);
    try {
      const port = await browser.devToolsPort();
      const targets = await (await fetch(`http://127.0.0.1:${port}/json`)).json();
      const target = targets.find((t) => t.type === 'page');
      if (!target) throw new Error('chromium shows no page target');
      browser.connection = await Connection.open(target.webSocketDebuggerUrl);
      browser.page = new Page(browser.connection);
      await browser.page.setUp(width, height);
      return browser;
    } catch (e) {
      await browser.close();
      throw e;
    }
  }

  async devToolsPort() {
    const file = path.join(this.profile, 'DevToolsActivePort');
    let gone = false;
    this.exited.then(() => {
      gone = true;
    });
    for (const end = Date.now() + 60_000; Date.now() < end; await sleep(100)) {
      if (this.startError) throw new Error(`cannot start ${CHROMIUM}: ${this.startError.message}`);
      if (gone) throw new Error(`chromium exited at start: ${this.stderr.trim().split('\n').pop() ?? ''}`);
      let text = '';
      try {
        text = fs.readFileSync(file, 'utf8');
      } catch {
        continue;
      }
      const port = parseInt(text.split('\n')[0], 10);
      if (port > 0) return port;
    }
    throw new Error('chromium wrote no DevToolsActivePort in 60 s');
  }

  // The whole group, even after the browser itself has gone: its renderer
  // and GPU processes may outlive it.
  killNow(signal = 'SIGKILL') {
    try {
      if (!this.child.pid) throw new Error('never started');
      process.kill(-this.child.pid, signal);
    } catch {
      // all gone already
    }
    fs.rmSync(this.profile, { recursive: true, force: true });
  }

  async close() {
    this.connection?.close();
    if (this.child.exitCode === null && this.child.signalCode === null) {
      try {
        process.kill(-this.child.pid, 'SIGTERM');
      } catch {
        // already gone
      }
      await Promise.race([this.exited, sleep(5000)]);
    }
    this.killNow();
  }
}
