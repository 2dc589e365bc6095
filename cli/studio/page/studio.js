// threeway studio: the page. Every control is built from the panel the server hands out (the
// effect's declared parameters, as `threeway params --json` prints them, and the colour wheels'
// identifiers), so nothing here restates the panel. Edits go to the server, which applies them
// through the host; the picture and the scopes come back for the version of the panel they show.
'use strict';

const token = document.querySelector('meta[name="threeway-token"]').content;
const $ = (id) => document.getElementById(id);

// What the page knows. `values` are the panel's values as a preset holds them (degrees, choice
// texts, [R, G, B]); `params` the declared parameters by identifier.
const studio = {
  panel: null,
  params: {},
  values: {},
  version: 0,          // the server's panel version last heard of
  shownVersion: -1,    // the version the picture shows
  undo: 0,
  redo: 0,
  frame: 0,
  before: false,
  full: false,         // the next picture at full resolution
  picking: null,       // the colour parameter an eyedropper is armed for
  stats: { latencies: [], views: 0, lastView: null },
};
window.studio = studio;

const controls = {};   // identifier -> { show(value) } for every control that shows a value
let activeControl = null;  // identifier being dragged: the server's echo does not move it

// ---------------------------------------------------------------------------------------------
// The server

async function api(method, path, body, raw) {
  const options = { method, headers: { 'X-Threeway-Token': token } };
  if (body !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = raw ? body : JSON.stringify(body);
  }
  const response = await fetch('/api/' + path, options);
  let json = null;
  try { json = await response.json(); } catch (e) { json = { error: response.status + ' ' + response.statusText }; }
  if (!response.ok) throw new Error(json.error || response.statusText);
  return json;
}

function say(text, error) {
  const message = $('message');
  message.textContent = text;
  message.classList.toggle('error', !!error);
}

// ---------------------------------------------------------------------------------------------
// Values and their units

function paramDefault(param) {
  switch (param.type) {
    case 'float': return param.default;
    case 'angle': return param.default / 65536;
    case 'checkbox': return param.default;
    case 'popup': return param.choices[param.default - 1];
    case 'color': return param.default.slice(1);
    default: return undefined;
  }
}

function decimals(param) { return param.type === 'float' ? param.precision : 2; }

function format(param, value) {
  if (typeof value !== 'number') return String(value);
  return value.toFixed(decimals(param));
}

// A float slider's value from a position 0..1 and back; a slider that declares an exponent is
// spread by it (the master gamma: 1 sits near the middle).
function fromPosition(param, p) {
  const t = param.useExponent ? Math.pow(p, param.exponent) : p;
  return param.sliderMin + (param.sliderMax - param.sliderMin) * t;
}
function toPosition(param, value) {
  const t = Math.min(1, Math.max(0, (value - param.sliderMin) / (param.sliderMax - param.sliderMin)));
  return param.useExponent ? Math.pow(t, 1 / param.exponent) : t;
}

function roundTo(param, value) {
  const scale = Math.pow(10, decimals(param));
  return Math.round(value * scale) / scale;
}

// One arrow-key step of a control (Shift: ten): a round fraction of the slider's span.
function niceStep(span) {
  const raw = span / 200;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  for (const m of [1, 2, 5, 10]) if (m * power >= raw * 0.999) return m * power;
  return raw;
}

function nudged(param, value, direction, big) {
  const k = direction * (big ? 10 : 1);
  if (param.type === 'angle') return value + k;
  if (param.useExponent) {
    return roundTo(param, fromPosition(param, Math.min(1, Math.max(0, toPosition(param, value) + k * 0.005))));
  }
  const v = roundTo(param, value + k * niceStep(param.sliderMax - param.sliderMin));
  return Math.min(param.sliderMax, Math.max(param.sliderMin, v));
}

// ---------------------------------------------------------------------------------------------
// Edits: queued in order, steps of one gesture merged, one request in flight at a time.

const gestureBase = Math.floor(Math.random() * 1e9) * 1000;
let gestureCount = 0;
function newGesture() { return gestureBase + (++gestureCount); }

const queue = [];
let sending = false;
let changeStart = null;  // when the oldest change the picture does not yet show was made

function edit(action, gesture) {
  if (changeStart === null) changeStart = performance.now();
  const last = queue[queue.length - 1];
  if (last && action.set && last.set && last.gesture === gesture) {
    Object.assign(last.set, action.set);
  } else {
    queue.push(Object.assign({ gesture: gesture || 0 }, action));
  }
  studio.full = false;
  pump();
}

function setValues(values, gesture) {
  for (const [id, value] of Object.entries(values)) {
    studio.values[id] = value;
    if (controls[id]) controls[id].show(value);
  }
  edit({ set: values }, gesture);
}

async function pump() {
  if (sending || queue.length === 0) return;
  sending = true;
  const next = queue.shift();
  let state = null;
  try {
    state = await api('POST', 'edit', next);
  } catch (error) {
    say(error.message, true);
    try { state = await api('GET', 'state'); } catch (e) { /* the message above says enough */ }
  }
  sending = false;
  if (state) applyState(state);
  if (queue.length) pump(); else requestView();
}

function busy() { return sending || queue.length > 0; }
Object.defineProperty(studio, 'busy', { get: () => busy() || viewing });

// The server's state: shown on every control unless more edits are on their way (then only
// the version is taken, and the next answer brings the values).
function applyState(state, force) {
  studio.version = state.version;
  studio.undo = state.undo;
  studio.redo = state.redo;
  studio.frame = state.frame;
  $('undo').disabled = state.undo === 0;
  $('redo').disabled = state.redo === 0;
  document.body.dataset.version = state.version;
  if (busy() && !force) return;
  studio.values = state.values;
  for (const [id, control] of Object.entries(controls)) {
    if (id !== activeControl && id in state.values) control.show(state.values[id]);
  }
  for (const wheel of wheels) wheel.show();
  showFrame();
}

// ---------------------------------------------------------------------------------------------
// The picture and the scopes

let viewing = false;
let viewAgain = false;

function requestView() {
  if (viewing) { viewAgain = true; return; }
  fetchView();
}

async function fetchView() {
  viewing = true;
  viewAgain = false;
  const box = $('picture-box');
  const ratio = window.devicePixelRatio || 1;
  const scopes = Math.round($('scopes').clientWidth * ratio);
  const full = studio.full;
  const query = 'w=' + Math.max(16, Math.round(box.clientWidth * ratio)) +
      '&h=' + Math.max(16, Math.round(box.clientHeight * ratio)) + '&before=' + (studio.before ? 1 : 0) +
      '&full=' + (full ? 1 : 0) + '&scopes=' + Math.min(2048, Math.max(192, scopes));
  try {
    const view = await api('GET', 'view?' + query);
    const picture = $('picture');
    picture.src = view.picture;
    await picture.decode().catch(() => {});
    for (const name of ['waveform', 'parade', 'vectorscope', 'histogram']) $('scope-' + name).src = view.scopes[name];
    studio.shownVersion = view.version;
    studio.stats.views++;
    studio.stats.lastView = { version: view.version, full: view.full, before: view.before, width: view.width,
                              height: view.height, ms: view.ms };
    document.body.dataset.shown = view.version;
    document.body.dataset.shownFull = view.full ? '1' : '0';
    fitPicture();
    $('resolution').textContent = (view.full ? 'Full resolution ' : 'Preview ') + view.width + '\u00d7' + view.height +
        (view.before ? ' (source)' : '');
    let timing = 'server ' + view.ms.total.toFixed(0) + ' ms (render ' + view.ms.render.toFixed(0) + ', picture ' +
        view.ms.picture.toFixed(0) + ', scopes ' + view.ms.scopes.toFixed(0) + ')';
    if (changeStart !== null && view.version >= studio.version && !busy()) {
      const latency = performance.now() - changeStart;
      studio.stats.latencies.push(latency);
      timing = 'update ' + latency.toFixed(0) + ' ms; ' + timing;
      changeStart = null;
    }
    $('timing').textContent = timing;
    if (full && view.full) studio.full = false;
  } catch (error) {
    say(error.message, true);
  }
  viewing = false;
  if (viewAgain || (!busy() && studio.shownVersion < studio.version)) fetchView();
}

// The picture fitted into its box at the frame's proportions.
function fitPicture() {
  const box = $('picture-box');
  const input = studio.panel.input;
  const scale = Math.min(box.clientWidth / input.width, box.clientHeight / input.height);
  const picture = $('picture');
  picture.style.width = Math.floor(input.width * scale) + 'px';
  picture.style.height = Math.floor(input.height * scale) + 'px';
}

// The frame pixel under a click on the picture.
function framePixel(event) {
  const rect = $('picture').getBoundingClientRect();
  const input = studio.panel.input;
  const x = Math.floor((event.clientX - rect.left) / rect.width * input.width);
  const y = Math.floor((event.clientY - rect.top) / rect.height * input.height);
  return { x: Math.min(input.width - 1, Math.max(0, x)), y: Math.min(input.height - 1, Math.max(0, y)) };
}

function armPicker(id) {
  studio.picking = studio.picking === id ? null : id;
  for (const button of document.querySelectorAll('.pick')) {
    button.setAttribute('aria-pressed', button.dataset.param === studio.picking ? 'true' : 'false');
  }
  $('picture-box').classList.toggle('picking', !!studio.picking);
  if (studio.picking) say('Click the picture to pick ' + studio.params[studio.picking].name.trim() + ' (Esc cancels)');
}

// ---------------------------------------------------------------------------------------------
// The colour wheels: the point's direction is the balance angle and its distance from the
// centre the magnitude. The ring shows where each angle pushes the range's colours: an angle
// turns the chroma towards minus that angle on the vectorscope (U right, V up), so on screen
// (y down) the angle is measured clockwise from the right.

const wheels = [];

function chromaColour(degrees) {
  const psi = degrees * Math.PI / 180;
  const y = 0.5, u = 0.3 * Math.cos(psi), v = 0.3 * Math.sin(psi);
  const channel = (c) => Math.round(Math.min(1, Math.max(0, c)) * 255);
  return 'rgb(' + channel(y + 1.402 * v) + ',' + channel(y - 0.344136 * u - 0.714136 * v) + ',' +
      channel(y + 1.772 * u) + ')';
}

function ringGradient() {
  // conic-gradient angles run clockwise from the top; screen angle s (clockwise from the right) is
  // conic angle s + 90, and shows the chroma direction -s.
  const stops = [];
  for (let c = 0; c <= 360; c += 15) stops.push(chromaColour(-(c - 90)) + ' ' + c + 'deg');
  return 'conic-gradient(' + stops.join(', ') + ')';
}

function buildWheel(wheelInfo, container) {
  const angle = studio.params[wheelInfo.angle], magnitude = studio.params[wheelInfo.magnitude];
  const element = document.createElement('div');
  element.className = 'wheel';
  element.dataset.wheel = wheelInfo.angle;
  const title = document.createElement('h2');
  const name = document.createElement('span');
  name.textContent = wheelInfo.name;
  title.append(name, resetButton('Reset ' + wheelInfo.name, () => resetParams([wheelInfo.angle, wheelInfo.magnitude, wheelInfo.gain, wheelInfo.hue])));
  const disc = document.createElement('div');
  disc.className = 'disc';
  disc.tabIndex = 0;
  disc.setAttribute('role', 'slider');
  disc.setAttribute('aria-label', wheelInfo.name + ' balance (arrow keys move it, Delete resets)');
  disc.style.background = ringGradient();
  const cross = document.createElement('div');
  cross.className = 'cross';
  const point = document.createElement('div');
  point.className = 'point';
  disc.append(cross, point);
  const readout = document.createElement('div');
  readout.className = 'readout';
  element.append(title, disc, readout);
  const limit = magnitude.sliderMax;

  const wheel = {
    wheelInfo,
    show() {
      const a = studio.values[wheelInfo.angle] * Math.PI / 180, m = studio.values[wheelInfo.magnitude];
      const r = Math.min(m, limit) / limit * 50;
      point.style.left = (50 + r * Math.cos(a)) + '%';
      point.style.top = (50 + r * Math.sin(a)) + '%';
      readout.textContent = 'angle ' + format(angle, studio.values[wheelInfo.angle]) + '\u00b0  magnitude ' +
          format(magnitude, m);
    },
  };
  wheels.push(wheel);

  const send = (x, y, gesture) => {
    // x, y: the point in units of the magnitude, y down.
    let m = Math.hypot(x, y);
    let a = Math.atan2(y, x) * 180 / Math.PI;
    if (a < 0) a += 360;
    m = Math.min(limit, m);
    const values = {};
    values[wheelInfo.angle] = Math.round(a * 100) / 100;
    values[wheelInfo.magnitude] = roundTo(magnitude, m);
    setValues(values, gesture);
    wheel.show();
  };
  let dragGesture = 0;
  const fromPointer = (event) => {
    const rect = disc.getBoundingClientRect();
    const x = (event.clientX - rect.left - rect.width / 2) / (rect.width / 2) * limit;
    const y = (event.clientY - rect.top - rect.height / 2) / (rect.height / 2) * limit;
    send(x, y, dragGesture);
  };
  disc.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    disc.setPointerCapture(event.pointerId);
    disc.focus();
    dragGesture = newGesture();
    activeControl = wheelInfo.angle;
    fromPointer(event);
  });
  disc.addEventListener('pointermove', (event) => { if (dragGesture) fromPointer(event); });
  const end = () => { dragGesture = 0; activeControl = null; };
  disc.addEventListener('pointerup', end);
  disc.addEventListener('pointercancel', end);
  disc.addEventListener('dblclick', () => resetParams([wheelInfo.angle, wheelInfo.magnitude]));
  const keys = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
  disc.addEventListener('keydown', (event) => {
    if (event.key === 'Delete' || event.key === 'Backspace') {
      event.preventDefault();
      resetParams([wheelInfo.angle, wheelInfo.magnitude]);
      return;
    }
    const step = keys[event.key];
    if (!step) return;
    event.preventDefault();
    const a = studio.values[wheelInfo.angle] * Math.PI / 180, m = studio.values[wheelInfo.magnitude];
    const k = event.shiftKey ? 10 : 1;
    send(m * Math.cos(a) + step[0] * k, m * Math.sin(a) + step[1] * k, keyGesture(wheelInfo.angle));
  });

  // Gain and hue rotation: ordinary controls under the wheel.
  element.append(buildControl(studio.params[wheelInfo.gain], true), buildControl(studio.params[wheelInfo.hue], true));
  if (wheelInfo.picker) element.append(buildControl(studio.params[wheelInfo.picker], true));
  container.append(element);
  wheel.show();
}

// Arrow-key steps on one control within a second of each other are one step of the history.
let lastKey = { id: null, time: 0, gesture: 0 };
function keyGesture(id) {
  const now = performance.now();
  if (lastKey.id !== id || now - lastKey.time > 1000) lastKey = { id, time: now, gesture: newGesture() };
  lastKey.time = now;
  return lastKey.gesture;
}

// ---------------------------------------------------------------------------------------------
// The other controls, one kind per parameter type

function resetButton(title, action) {
  const button = document.createElement('button');
  button.className = 'reset';
  button.type = 'button';
  button.title = title;
  button.textContent = '\u21ba';
  button.addEventListener('click', action);
  return button;
}

function resetParams(ids) {
  const values = {};
  for (const id of ids) {
    const value = paramDefault(studio.params[id]);
    if (value !== undefined) values[id] = value;
  }
  setValues(values, newGesture());
  for (const wheel of wheels) wheel.show();
}

function label(param, forId) {
  const element = document.createElement('label');
  element.textContent = param.name.trim() || param.identifier;
  element.title = param.identifier;
  if (forId) element.htmlFor = forId;
  return element;
}

function buildControl(param, compact) {
  const id = param.identifier;
  const row = document.createElement('div');
  row.className = 'control';
  row.dataset.param = id;
  const inputId = 'control-' + id;
  switch (param.type) {
    case 'float':
    case 'angle': {
      const range = document.createElement('input');
      range.type = 'range';
      range.id = inputId;
      const number = document.createElement('input');
      number.type = 'number';
      number.setAttribute('aria-label', param.name.trim() || id);
      const isAngle = param.type === 'angle';
      if (isAngle) {
        range.min = -180; range.max = 180; range.step = 0.01;
        number.step = 0.01;
      } else {
        range.min = 0; range.max = 1000; range.step = 1;
        number.step = Math.pow(10, -param.precision);
      }
      let gesture = 0;
      const sendValue = (value, g) => { const v = {}; v[id] = value; setValues(v, g); };
      range.addEventListener('pointerdown', () => { gesture = newGesture(); activeControl = id; });
      range.addEventListener('input', () => {
        const value = isAngle ? Number(range.value) : roundTo(param, fromPosition(param, Number(range.value) / 1000));
        sendValue(value, gesture || newGesture());
      });
      range.addEventListener('change', () => { gesture = 0; activeControl = null; });
      number.addEventListener('change', () => {
        const value = Number(number.value);
        if (number.value !== '' && Number.isFinite(value)) sendValue(value, newGesture());
      });
      for (const input of [range, number]) {
        input.addEventListener('keydown', (event) => {
          const direction = { ArrowUp: 1, ArrowRight: 1, ArrowDown: -1, ArrowLeft: -1 }[event.key];
          if (event.key === 'Delete' && input === range) {
            event.preventDefault();
            resetParams([id]);
          } else if (direction && !(input === number && (event.key === 'ArrowLeft' || event.key === 'ArrowRight'))) {
            event.preventDefault();
            sendValue(nudged(param, studio.values[id], direction, event.shiftKey), keyGesture(id));
          }
        });
      }
      controls[id] = {
        show(value) {
          range.value = isAngle ? value : Math.round(toPosition(param, value) * 1000);
          if (document.activeElement !== number) number.value = format(param, value);
        },
      };
      row.append(label(param, inputId), range, number, resetButton('Reset ' + (param.name.trim() || id), () => resetParams([id])));
      break;
    }
    case 'checkbox': {
      row.classList.add('wide');
      const box = document.createElement('input');
      box.type = 'checkbox';
      box.id = inputId;
      const text = document.createElement('label');
      text.htmlFor = inputId;
      text.textContent = param.boxText;
      const holder = document.createElement('span');
      holder.append(box, ' ', text);
      box.addEventListener('change', () => { const v = {}; v[id] = box.checked; setValues(v, newGesture()); });
      controls[id] = { show(value) { box.checked = !!value; } };
      const name = label(param, inputId);
      if (!param.name.trim()) name.textContent = '';
      row.append(name, holder, resetButton('Reset ' + param.boxText, () => resetParams([id])));
      break;
    }
    case 'popup': {
      row.classList.add('wide');
      const select = document.createElement('select');
      select.id = inputId;
      param.choices.forEach((choice) => {
        const option = document.createElement('option');
        option.value = choice;
        option.textContent = choice;
        select.append(option);
      });
      select.addEventListener('change', () => { const v = {}; v[id] = select.value; setValues(v, newGesture()); });
      controls[id] = { show(value) { select.value = value; } };
      row.append(label(param, inputId), select, resetButton('Reset ' + param.name.trim(), () => resetParams([id])));
      break;
    }
    case 'color': {
      row.classList.add('wide');
      const swatch = document.createElement('input');
      swatch.type = 'color';
      swatch.id = inputId;
      const hex = (rgb) => '#' + rgb.map((c) => c.toString(16).padStart(2, '0')).join('');
      swatch.addEventListener('change', () => {
        const c = swatch.value;
        const v = {};
        v[id] = [1, 3, 5].map((i) => parseInt(c.slice(i, i + 2), 16));
        setValues(v, newGesture());
      });
      const pick = document.createElement('button');
      pick.type = 'button';
      pick.className = 'pick';
      pick.dataset.param = id;
      pick.textContent = 'Pick';
      pick.title = 'Eyedropper: click, then click the picture';
      pick.setAttribute('aria-pressed', 'false');
      pick.addEventListener('click', () => armPicker(id));
      const holder = document.createElement('span');
      holder.append(swatch, ' ', pick);
      controls[id] = { show(value) { swatch.value = hex(value); } };
      row.append(label(param, inputId), holder, resetButton('Reset ' + param.name.trim(), () => resetParams([id])));
      break;
    }
    default:
      return null;
  }
  if (compact) row.classList.add('compact');
  if (id in studio.values) controls[id].show(studio.values[id]);
  return row;
}

// The groups as the effect declares them, each a fieldset with a reset for all it holds; the
// parameters a wheel shows are left out, and groups left empty are not drawn.
function buildPanel(container, claimed) {
  const stack = [{ element: container, ids: [], count: 0 }];
  let buttons = null;
  for (const param of studio.panel.params) {
    const top = stack[stack.length - 1];
    if (param.type === 'groupStart') {
      const fieldset = document.createElement('fieldset');
      const name = param.name.trim();
      const legend = document.createElement('legend');
      legend.textContent = name;
      fieldset.append(legend);
      stack.push({ element: fieldset, legend, ids: [], count: 0, name });
      buttons = null;
      continue;
    }
    if (param.type === 'groupEnd') {
      const group = stack.pop();
      buttons = null;
      if (group.count === 0) continue;
      const parent = stack[stack.length - 1];
      if (group.ids.length) {
        group.legend.append(resetButton('Reset ' + (group.name || 'this group'), () => resetParams(group.ids)));
      }
      if (!group.name && group.legend.childNodes.length === 1) group.legend.remove();
      parent.element.append(group.element);
      parent.count += group.count;
      parent.ids.push(...group.ids);
      continue;
    }
    // A parameter declared hidden is not shown (the level pickers no part of the effect reads, the
    // hue offset); the groups declared hidden are the ranges the wheels show and the master levels.
    if (!param.identifier || claimed.has(param.identifier) || (param.uiFlags & 0x200)) continue;
    if (param.type === 'button') {
      if (!buttons) {
        buttons = document.createElement('div');
        buttons.className = 'buttons';
        top.element.append(buttons);
      }
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = param.buttonText;
      button.dataset.param = param.identifier;
      button.addEventListener('click', () => edit({ press: param.identifier }, 0));
      buttons.append(button);
      top.count++;
      continue;
    }
    buttons = null;
    const row = buildControl(param, false);
    if (!row) continue;
    top.element.append(row);
    top.ids.push(param.identifier);
    top.count++;
  }
}

// ---------------------------------------------------------------------------------------------
// Frames of a video or raw input

function showFrame() {
  $('frame').value = studio.frame;
  if (document.activeElement !== $('frame-number')) $('frame-number').value = studio.frame;
}

async function chooseFrame(frame) {
  if (!Number.isFinite(frame) || frame < 0) return;
  changeStart = performance.now();
  try {
    applyState(await api('POST', 'frame', { frame }));
    requestView();
  } catch (error) {
    say(error.message, true);
    showFrame();
  }
}

// ---------------------------------------------------------------------------------------------
// Keeping work

async function action(path, body, done) {
  try {
    const result = await api('POST', path, body === undefined ? {} : body);
    done(result);
  } catch (error) {
    say(error.message, true);
  }
}

let renderTimer = null;
async function watchRender() {
  try {
    const status = await api('GET', 'render');
    const progress = $('render-progress');
    const running = status.state === 'running';
    progress.hidden = !running;
    $('cancel-render').hidden = !running;
    $('render').disabled = running;
    if (running) {
      if (status.total > 0) {
        progress.max = status.total;
        progress.value = status.done;
      } else {
        progress.removeAttribute('value');
      }
      say('Rendering ' + status.path + ': frame ' + status.done + (status.total ? ' of ' + status.total : ''));
      renderTimer = setTimeout(watchRender, 300);
      return;
    }
    document.body.dataset.render = status.state;
    if (status.state === 'done') {
      say('Rendered ' + status.done + ' frame' + (status.done === 1 ? '' : 's') + ' into ' + status.path + ' in ' +
          status.seconds.toFixed(1) + ' s');
    } else if (status.state === 'failed' || status.state === 'cancelled') {
      say('Render ' + status.state + ': ' + status.message, status.state === 'failed');
    }
  } catch (error) {
    say(error.message, true);
  }
  renderTimer = null;
}

function setUpToolbar() {
  $('undo').addEventListener('click', () => history('undo'));
  $('redo').addEventListener('click', () => history('redo'));
  $('before').addEventListener('click', toggleBefore);
  $('full').addEventListener('click', () => { studio.full = true; changeStart = null; requestView(); });
  $('save-preset').addEventListener('click', () => action('save-preset', {}, (r) => {
    document.body.dataset.saved = r.path;
    say('Saved the preset to ' + r.path);
  }));
  $('download-preset').addEventListener('click', async () => {
    try {
      const response = await fetch('/api/preset', { headers: { 'X-Threeway-Token': token } });
      if (!response.ok) throw new Error((await response.json()).error);
      const link = document.createElement('a');
      link.href = URL.createObjectURL(await response.blob());
      link.download = studio.panel.files.preset.split('/').pop();
      link.click();
      URL.revokeObjectURL(link.href);
    } catch (error) {
      say(error.message, true);
    }
  });
  $('load-preset').addEventListener('change', async () => {
    const file = $('load-preset').files[0];
    $('load-preset').value = '';
    if (!file) return;
    try {
      applyState(await api('POST', 'preset', await file.text(), true), true);
      say('Loaded ' + file.name);
      requestView();
    } catch (error) {
      say(file.name + ': ' + error.message, true);
    }
  });
  const size = $('lut-size');
  size.min = studio.panel.lutSize.min;
  size.max = studio.panel.lutSize.max;
  size.value = studio.panel.lutSize.default;
  $('export-lut').addEventListener('click', () => {
    say('Baking the LUT\u2026');
    action('lut', { size: Number(size.value) }, (r) => {
      say('Exported a ' + r.size + '-point LUT to ' + r.path + (r.leftOut.length ? '; left out: ' + r.leftOut.join(', ') : ''));
    });
  });
  $('render').addEventListener('click', () => action('render', {}, () => { if (!renderTimer) watchRender(); }));
  $('cancel-render').addEventListener('click', () => action('render/cancel', {}, () => {}));
}

async function history(which) {
  if (busy()) return;
  changeStart = performance.now();
  try {
    applyState(await api('POST', which), true);
    requestView();
  } catch (error) {
    say(error.message, true);
  }
}

function toggleBefore() {
  studio.before = !studio.before;
  $('before').setAttribute('aria-pressed', studio.before ? 'true' : 'false');
  requestView();
}

function setUpKeyboard() {
  document.addEventListener('keydown', (event) => {
    const typing = event.target instanceof HTMLInputElement && event.target.type === 'number';
    const key = event.key.toLowerCase();
    if ((event.ctrlKey || event.metaKey) && (key === 'z' || key === 'y')) {
      event.preventDefault();
      history(key === 'y' || event.shiftKey ? 'redo' : 'undo');
    } else if (key === 'escape' && studio.picking) {
      armPicker(null);
      say('');
    } else if (key === 'b' && !typing && !event.ctrlKey && !event.metaKey && !event.altKey) {
      toggleBefore();
    }
  });
}

// ---------------------------------------------------------------------------------------------
// Start

async function start() {
  try {
    studio.panel = await api('GET', 'panel');
  } catch (error) {
    say(error.message, true);
    return;
  }
  const panel = studio.panel;
  for (const param of panel.params) if (param.identifier) studio.params[param.identifier] = param;
  studio.values = panel.state.values;
  $('picture-box').style.aspectRatio = panel.input.width + ' / ' + panel.input.height;
  $('input-name').textContent = panel.input.path + ' (' + panel.input.width + '\u00d7' + panel.input.height + ')';
  document.title = 'threeway studio: ' + panel.input.path;
  const claimed = new Set();
  for (const wheelInfo of panel.wheels) {
    for (const id of [wheelInfo.angle, wheelInfo.magnitude, wheelInfo.gain, wheelInfo.hue, wheelInfo.picker]) if (id) claimed.add(id);
    buildWheel(wheelInfo, $('wheels'));
  }
  buildPanel($('panel'), claimed);
  if (panel.input.frames) {
    $('frame-bar').hidden = false;
    const last = panel.input.frameCount > 0 ? panel.input.frameCount - 1 : 0;
    $('frame').max = last;
    $('frame').hidden = last === 0;
    $('frame-count').textContent = panel.input.frameCount > 0 ? 'of ' + panel.input.frameCount : '';
    $('frame').addEventListener('change', () => chooseFrame(Number($('frame').value)));
    $('frame-number').addEventListener('change', () => chooseFrame(Number($('frame-number').value)));
  }
  setUpToolbar();
  setUpKeyboard();
  $('picture').addEventListener('click', (event) => {
    if (!studio.picking) return;
    const id = studio.picking;
    const { x, y } = framePixel(event);
    armPicker(null);
    say('Picked ' + studio.params[id].name.trim() + ' at ' + x + ',' + y);
    edit({ pick: { name: id, x, y } }, 0);
  });
  window.addEventListener('resize', () => { fitPicture(); requestView(); });
  applyState(panel.state, true);
  document.body.dataset.ready = '1';
  requestView();
  // Another page may edit the same panel: its changes show here within a second.
  setInterval(async () => {
    if (busy() || viewing) return;
    try {
      const state = await api('GET', 'state');
      if (state.version !== studio.version) {
        applyState(state, true);
        requestView();
      }
    } catch (error) { /* the server went away; the next action says so */ }
  }, 1000);
  watchRender();
}

start();
