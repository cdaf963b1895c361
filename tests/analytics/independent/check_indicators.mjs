// Our candles and indicators against two indicator libraries written elsewhere, on real one-minute bars.
//
//   node check_indicators.mjs --feeder <tarnwell_independent_feeder> --npm <npm> --work <build folder>
//
// 1. Fetches trading-signals and technicalindicators (exact versions) and the sample bars shipped in the
//    talib package into the work folder, once; without the registry the check fails and says why.
// 2. Turns the bars into prints (plus stretches of its own: flat prices, gaps without prints, a price jump,
//    test-tool resets and history) and writes them as a tape for the feeder.
// 3. Models on its own which candles each series must hold after each bar close, and what the libraries
//    compute on exactly those candles; compares that with what the feeder read from our nodes.
//
// Values agree within 1e-9 relative. Two quantities are differences of nearly equal prices and often 0 (the
// slope and the spread of a window); for those the comparison also allows what a rounding in the 12th digit
// of the prices themselves can do, and says so where it is used.

import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

const VERSIONS = {
  'trading-signals': '8.4.1',
  technicalindicators: '3.1.0'
};
// The sample data moved into the package with its 2.x line (1.x has no examples folder).
const TALIB = 'talib@2.0.5';
const RELATIVE = 1e-9;

function fail(message) {
  console.error(`independent indicator check FAILED: ${message}`);
  process.exit(1);
}

function parseArgs() {
  const args = {};
  for (let i = 2; i < process.argv.length; i += 2)
    args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
  for (const key of ['feeder', 'npm', 'work'])
    if (!args[key]) fail(`missing --${key}`);
  return args;
}

// --- Fetching -----------------------------------------------------------------------------------------

function run(command, args, cwd, what, cleanUp = () => {}) {
  const result = spawnSync(command, args, {cwd, encoding: 'utf8', timeout: 240000});
  if (result.status === 0) return;
  cleanUp();
  const output = `${result.stdout ?? ''}${result.stderr ?? ''}`.trim().split('\n').slice(-15).join('\n');
  fail(
      `${what} did not work${command === 'tar' ? '' : ' (is the npm registry reachable from here?)'}\n` +
      `  ${command} ${args.join(' ')}\n${result.error ? `  ${result.error.message}\n` : ''}${output}`);
}

function installedVersion(work, name) {
  try {
    return JSON.parse(fs.readFileSync(path.join(work, 'node_modules', name, 'package.json'), 'utf8')).version;
  } catch {
    return null;
  }
}

function fetchDependencies(npm, work) {
  fs.mkdirSync(work, {recursive: true});
  const barsFile = path.join(work, 'package', 'examples', 'marketdata.json');
  const missing =
      Object.entries(VERSIONS).filter(([name, version]) => installedVersion(work, name) !== version);
  if (missing.length > 0) {
    fs.writeFileSync(
        path.join(work, 'package.json'),
        JSON.stringify({private: true, name: 'tarnwell-independent-check', dependencies: VERSIONS}));
    run(npm,
        [
          'install', '--no-audit', '--no-fund', '--no-package-lock', '--fetch-timeout=60000',
          '--fetch-retries=2'
        ],
        work, 'npm install of the indicator libraries');
  }
  if (!fs.existsSync(barsFile)) {
    const tarball = path.join(work, `${TALIB.replace('@', '-')}.tgz`);
    if (!fs.existsSync(tarball)) {
      run(npm, ['pack', TALIB, '--pack-destination', work, '--fetch-timeout=60000', '--fetch-retries=2'],
          work, 'npm pack of the sample bars');
    }
    // Only the data file is unpacked; the package itself is never built.
    run('tar', ['-xzf', tarball, '-C', work, 'package/examples/marketdata.json'], work,
        'unpacking the sample bars', () => fs.rmSync(tarball, {force: true}));  // fetched again next time
  }
  for (const [name, version] of Object.entries(VERSIONS)) {
    if (installedVersion(work, name) !== version)
      fail(`${name}@${version} is not in ${work} after npm install`);
  }
  return JSON.parse(fs.readFileSync(barsFile, 'utf8'));
}

async function loadLibraries(work) {
  const require = createRequire(path.join(work, 'package.json'));
  const ts = await import(pathToFileURL(require.resolve('trading-signals')).href);
  const ti = require('technicalindicators');
  return {ts, ti};
}

// --- The tape -------------------------------------------------------------------------------------------

const MS_PER_DAY = 86400000;
const WIDTHS = [1, 3, 5, 7, 15];
const INDICATORS = [
  ['e1a', 'EMA', 1, 3],   ['e1b', 'EMA', 1, 12], ['c1', 'CCI', 1, 20],  ['r1', 'RSI', 1, 14],
  ['g1a', 'REG', 1, 2],   ['g1b', 'REG', 1, 10], ['u1', 'UP', 1, 0],    ['e3', 'EMA', 3, 9],
  ['c3', 'CCI', 3, 20],   ['r3', 'RSI', 3, 5],   ['g3', 'REG', 3, 20],  ['u3', 'UP', 3, 0],
  ['e5', 'EMA', 5, 20],   ['c5', 'CCI', 5, 14],  ['r5', 'RSI', 5, 14],  ['g5', 'REG', 5, 5],
  ['u5', 'UP', 5, 0],     ['e7', 'EMA', 7, 5],   ['c7', 'CCI', 7, 5],   ['r7', 'RSI', 7, 3],
  ['g7', 'REG', 7, 8],    ['u7', 'UP', 7, 0],    ['e15', 'EMA', 15, 4], ['c15', 'CCI', 15, 3],
  ['r15', 'RSI', 15, 14], ['g15', 'REG', 15, 3], ['u15', 'UP', 15, 0],
];

// Days since 1899-12-30 at 00:00 of a calendar date.
function dayNumber(year, month, day) { return Date.UTC(year, month - 1, day) / MS_PER_DAY + 25569; }

// A session minute (0 = 06:30) and second of a day.
function at(day, minute, second = 0) { return day + ((6 * 60 + 30 + minute) * 60 + second) / 86400; }

// Repeatable prices for the stretches of our own.
function wanderer(seed, start) {
  let state = seed;
  let price = start;
  return (jump = 0) => {
    state = (state * 1103515245 + 12345) % 2147483648;
    price = Math.round((price * (1 + jump) + (state / 2147483648 - 0.5) * 0.4) * 100) / 100;
    return price;
  };
}

function buildTape(bars) {
  const lines = [`W ${WIDTHS.join(' ')}`, 'V'];
  for (const [id, kind, minutes, count] of INDICATORS) lines.push(`I ${id} ${kind} ${minutes} ${count}`);
  const events = [];  // the same events, for the model
  const push = (event, line) => {
    events.push(event);
    lines.push(line);
  };
  const print = (time, price, size, snapshot = false) =>
      push({kind: 'P', time, price, size, snapshot}, `P ${time} ${price} ${size} ${snapshot ? 1 : 0}`);
  const market = (time) => push({kind: 'T', time}, `T ${time}`);
  const candleText = (c) => `${c.open} ${c.high} ${c.low} ${c.close} ${c.volume}`;

  // A bar as four prints: open, the nearer extreme, the other extreme, close; every fifth bar also has a
  // snapshot restating the close, which candles count and the VWAP must not.
  const barPrints = (day, minute, i, withSnapshot) => {
    const [open, high, low, close, volume] =
        ['open', 'high', 'low', 'close', 'volume'].map((k) => bars[k][i]);
    const quarter = Math.floor(volume / 4);
    const extremes = close >= open ? [low, high] : [high, low];
    print(at(day, minute, 0), open, quarter);
    print(at(day, minute, 15), extremes[0], quarter);
    print(at(day, minute, 30), extremes[1], quarter);
    print(at(day, minute, 45), close, volume - 3 * quarter);
    if (withSnapshot && i % 5 === 0) print(at(day, minute, 50), close, 50, true);
  };
  const synthetic = (day, minute, next, jump = 0) => {
    print(at(day, minute, 5), next(jump), 300 + minute);
    print(at(day, minute, 20), next(), 100);
    print(at(day, minute, 40), next(), 700);
  };

  const day1 = dayNumber(2031, 6, 2);
  const day2 = day1 + 1;
  const day3 = day1 + 2;
  market(at(day1, -1));  // before the open: the bar counters start with the first session minute
  for (let i = 0; i < 390; ++i) barPrints(day1, i, i, true);
  market(at(day1, 390));  // 13:00 closes the day's last bars

  // The next day: a reset for every width, then the last two real bars and stretches of our own.
  barPrints(day2, 0, 390, true);
  barPrints(day2, 1, 391, true);
  const next = wanderer(7, bars.close[391]);
  for (let m = 2; m <= 30; ++m) synthetic(day2, m, next);
  // Minutes 31 to 33 have no prints. Then flat prices: identical candles, no changes, no spread.
  const flat = bars.close[391];
  for (let m = 34; m <= 80; ++m) {
    print(at(day2, m, 3), flat, 100 + m);
    print(at(day2, m, 33), flat, 200);
  }
  for (let m = 81; m <= 149; ++m) {
    synthetic(day2, m, next, m === 100 ? 0.04 : 0);  // a 4% jump at minute 100
    if (m === 120) push({kind: 'R', minutes: 5}, 'R 5');
    if (m === 130) {
      // A day of real 3-minute candles as history: recomputes with a long list.
      const history = aggregate(bars, 0, 390, 3);
      push({kind: 'H', minutes: 3, candles: history}, `H 3 ${history.map(candleText).join(' ')}`);
    }
    if (m === 131) {
      for (const c
               of [{open: 450, high: 451, low: 449.5, close: 450.5, volume: 1000},
                   {open: 450.5, high: 452, low: 450.25, close: 451.75, volume: 1200}]) {
        push({kind: 'C', minutes: 3, candle: c}, `C 3 ${candleText(c)}`);
      }
    }
  }
  // Minutes 150 to 170 have no prints: every width starts again.
  for (let m = 171; m <= 389; ++m) synthetic(day2, m, next);
  market(at(day2, 390));

  // A third day replays the first bars, with one print stamped in the minute before its arrival.
  for (let i = 0; i <= 30; ++i) {
    barPrints(day3, i, i, false);
    if (i === 6) print(at(day3, 5, 59), 440, 5000);  // late: no candle takes it; the VWAP does
  }
  market(at(day3, 45));
  return {text: `${lines.join('\n')}\n`, events};
}

// Real bars [from, to) into candles of `width` minutes, aligned to the session start.
function aggregate(bars, from, to, width) {
  const candles = [];
  for (let start = from; start < to; start += width) {
    const end = Math.min(start + width, to);
    candles.push({
      open: bars.open[start],
      high: Math.max(...bars.high.slice(start, end)),
      low: Math.min(...bars.low.slice(start, end)),
      close: bars.close[end - 1],
      volume: bars.volume.slice(start, end).reduce((a, b) => a + b, 0),
    });
  }
  return candles;
}

// --- The model of our candle series -------------------------------------------------------------------

// The market-minute clock and one series per width, as our candle series must behave: prints build the
// bar in progress; a bar closing with prints appends it; a bar without prints, skipped bars or a new day
// start the series again. Each change is one notification.
function modelSeries(events) {
  const NO_BAR = null;
  const series =
      new Map(WIDTHS.map((w) => [w, {state: 'none', bar: NO_BAR, current: null, list: [], out: []}]));
  const clock = {nextMinute: 0, minuteStart: 0, inSessionStart: 0};
  const snapshot = (s, transition) => s.out.push({transition, list: s.list.slice()});

  const step = (time) => {
    if (clock.nextMinute - time > 1 / MS_PER_DAY) return;
    const totalMs = Math.round(time * MS_PER_DAY);
    const day = Math.floor(totalMs / MS_PER_DAY);
    const minuteOfDay = Math.floor((totalMs - day * MS_PER_DAY) / 60000);
    clock.minuteStart = day + minuteOfDay * 60000 / MS_PER_DAY;
    clock.nextMinute = day + (minuteOfDay + 1) * 60000 / MS_PER_DAY;
    const minute = minuteOfDay - (6 * 60 + 30);
    for (const [width, s] of series) {
      let close;
      if (minute < 0 || minute >= 390) {
        if (s.state === 'none' || s.state === 'out') continue;
        s.state = 'out';
        s.bar = NO_BAR;
        close = 'append';
      } else {
        s.lastStart = clock.minuteStart;
        const bar = Math.floor(minute / width);
        if (bar === s.bar) continue;
        if (s.state === 'none') {
          close = 'first';
        } else if (s.bar !== NO_BAR && bar === s.bar + 1) {
          close = 'append';
        } else {
          close = 'reset';
        }
        s.state = 'in';
        s.bar = bar;
      }
      if (close === 'first') {
        s.current = null;
        continue;
      }
      if (close === 'append' && s.current) {
        s.list.push(s.current);
        s.current = null;
        snapshot(s, 'newCandle');
        continue;
      }
      s.list = [];
      s.current = null;
      snapshot(s, 'reset');
    }
  };

  for (const event of events) {
    if (event.kind === 'T') step(event.time);
    if (event.kind === 'P') {
      step(event.time);
      for (const s of series.values()) {
        if (s.bar === NO_BAR || event.time < s.lastStart) continue;
        const p = event.price;
        if (!s.current) {
          s.current = {open: p, high: p, low: p, close: p, volume: event.size};
          continue;
        }
        s.current.high = Math.max(s.current.high, p);
        s.current.low = Math.min(s.current.low, p);
        s.current.close = p;
        s.current.volume += event.size;
      }
    }
    const s = series.get(event.minutes);
    if (event.kind === 'R') {
      s.list = [];
      snapshot(s, 'reset');
    }
    if (event.kind === 'H') {
      s.list = event.candles.slice();
      snapshot(s, 'reset');
    }
    if (event.kind === 'C') {
      s.list.push(event.candle);
      snapshot(s, 'newCandle');
    }
  }
  return series;
}

// --- Comparing ------------------------------------------------------------------------------------------

class Report {
  constructor() {
    this.counts = new Map();
    this.closest = new Map();  // the largest share of its allowance a difference used, per comparison
    this.failures = [];
  }
  // |ours - theirs| within RELATIVE of the larger, plus `floor` where a quantity is a difference of prices.
  near(what, ours, theirs, floor = 0) {
    this.counts.set(what, (this.counts.get(what) ?? 0) + 1);
    const allowed = RELATIVE * Math.max(Math.abs(ours), Math.abs(theirs)) + floor;
    const ok = Number.isFinite(ours) && Number.isFinite(theirs) && Math.abs(ours - theirs) <= allowed;
    if (!ok) this.failures.push(`${what}: ours ${ours}, theirs ${theirs}`);
    const share = allowed > 0 ? Math.abs(ours - theirs) / allowed : ours === theirs ? 0 : Infinity;
    this.closest.set(what, Math.max(this.closest.get(what) ?? 0, share));
  }
  same(what, ours, theirs, context = '') {
    this.counts.set(what, (this.counts.get(what) ?? 0) + 1);
    if (JSON.stringify(ours) !== JSON.stringify(theirs)) {
      this.failures.push(
          `${what}: ours ${JSON.stringify(ours)}, expected ${JSON.stringify(theirs)} ${context}`);
    }
  }
}

const closes = (list) => list.map((c) => c.close);
const typical = (c) => (c.high + c.low + c.close) / 3;
const last = (array) => array[array.length - 1];

function feed(indicator, inputs) {
  let result = null;
  for (const input of inputs) result = indicator.add(input);
  return result;
}

// The trailing run of rising (or falling) values, from the library's streaks: the last streak is the
// trailing one when the last value moved that way.
function trailingStreak(ts, values, side) {
  const n = values.length;
  if (n < 2) return 0;
  const moved = side === 'up' ? values[n - 1] > values[n - 2] : values[n - 1] < values[n - 2];
  return moved ? last(ts.getStreaks(values, side)).length : 0;
}

function compareIndicator(report, libs, indicator, ours, list, rsiState) {
  const {ts, ti} = libs;
  const [id, kind, , bars] = indicator;
  const n = list.length;
  const name = `${kind} ${id}`;
  if (kind === 'EMA') {
    report.same(`${name} validity`, ours.v, n >= bars);
    if (n < bars) return;
    // Both seed with the oldest close of the series.
    report.near(`${name} vs trading-signals EMA`, ours.x, feed(new ts.EMA(bars), closes(list)));
    // technicalindicators seeds with the average of the first Bars closes instead. The recursions are the
    // same, so the two differ by the seed difference times (1 - alpha) per later candle: compare once that
    // has faded below the tolerance.
    const theirs = ti.EMA.calculate({period: bars, values: closes(list)});
    const seedGap = Math.abs(feed(new ts.EMA(bars), closes(list.slice(0, bars))) - theirs[0]);
    const faded = seedGap * Math.pow(1 - 2 / (bars + 1), n - bars);
    if (faded < 1e-3 * RELATIVE * Math.abs(ours.x))
      report.near(`${name} vs technicalindicators EMA`, ours.x, last(theirs));
    return;
  }
  if (kind === 'CCI') {
    if (n < bars) {
      report.same(`${name} validity`, ours.v, false);
      return;
    }
    const window = list.slice(n - bars);
    const tps = window.map(typical);
    if (tps.every((tp) => tp === tps[0])) {
      // No deviation: we report an error and no value; trading-signals answers 0, technicalindicators
      // divides by zero. Only our side can be checked.
      report.same(`${name} without deviation is not valid`, [ours.v, ours.x], [false, 0]);
      return;
    }
    report.same(`${name} validity`, ours.v, true);
    report.near(`${name} vs trading-signals CCI`, ours.x, feed(new ts.CCI(bars), window));
    const theirs = ti.CCI.calculate({
      high: window.map((c) => c.high),
      low: window.map((c) => c.low),
      close: closes(window),
      period: bars
    });
    report.near(`${name} vs technicalindicators CCI`, ours.x, last(theirs));
    return;
  }
  if (kind === 'RSI') {
    // Our RSI seeds its averages where it last recomputed from the whole list: at most three periods before
    // the last Bars changes; from then on it folds one change per candle. Both libraries are seeded with the
    // same changes by feeding them the closes from that candle on.
    if (n <= bars) {
      rsiState.valid = false;
      report.same(`${name} validity`, ours.v, false);
      return;
    }
    if (!(rsiState.valid && rsiState.transition === 'newCandle'))
      rsiState.start = Math.max(n - 4 * bars - 1, 0);
    rsiState.valid = true;
    report.same(`${name} validity`, ours.v, true);
    const prices = closes(list.slice(rsiState.start));
    if (prices.every((p) => p === prices[0])) {
      // Neither gains nor losses: we answer 50, both libraries 100.
      report.same(`${name} of unchanged closes`, ours.x, 50);
      return;
    }
    report.near(`${name} vs trading-signals RSI`, ours.x, feed(new ts.RSI(bars), prices));
    // technicalindicators rounds its RSI to two decimals.
    const theirs = last(ti.RSI.calculate({period: bars, values: prices}));
    report.near(`${name} vs technicalindicators RSI (two decimals)`, ours.x, theirs, 0.005 + 1e-9);
    return;
  }
  if (kind === 'REG') {
    report.same(`${name} validity`, ours.v, n >= bars);
    if (n < bars) return;
    const window = closes(list.slice(n - bars));
    const level = Math.max(...window.map(Math.abs));
    const line = feed(new ts.LinearRegression(bars), window);
    // A slope is a difference of prices over a few candles and often nearly 0 (exactly 0 on flat prices),
    // where nothing relative can hold: allow a rounding in the 12th digit of a price.
    const slopeFloor = 1e-12 * level;
    report.near(`${name} slope vs trading-signals`, ours.slope, line.slope, slopeFloor);
    // The library counts x from the window's first candle and predicts one candle ahead of it; our line
    // counts x over the whole series and ends at the last candle.
    report.near(
        `${name} line end vs trading-signals prediction - slope`, ours.end, line.prediction - line.slope);
    report.near(
        `${name} intercept vs trading-signals moved to index 0`, ours.icpt,
        line.intercept - line.slope * (n - bars));
    // Both libraries give the population deviation; ours is the sample deviation of the same closes. The
    // spread of nearly equal prices (0 on flat prices) keeps the square root of the prices' rounding.
    const toSample = Math.sqrt(bars / (bars - 1));
    const spreadFloor = Math.sqrt(1e-15) * level;
    report.near(
        `${name} deviation vs trading-signals`, ours.sd, ts.getStandardDeviation(window) * toSample,
        spreadFloor);
    report.near(
        `${name} deviation vs technicalindicators SD`, ours.sd,
        last(ti.SD.calculate({period: bars, values: window})) * toSample, spreadFloor);
    return;
  }
  if (kind === 'UP') {
    // Neither library counts candles whose high and low both rose. The run of such candles back from the
    // last is the shorter of the trailing runs of rising highs and of rising lows, which trading-signals'
    // streaks give.
    const highs = list.map((c) => c.high);
    const lows = list.map((c) => c.low);
    let expected = {v: false, x: 0};
    if (n >= 2) {
      const up = Math.min(trailingStreak(ts, highs, 'up'), trailingStreak(ts, lows, 'up'));
      const down = Math.min(trailingStreak(ts, highs, 'down'), trailingStreak(ts, lows, 'down'));
      const run = Math.max(up, down);
      if (run === 0)
        expected = {v: true, x: 0};
      else if (run < n - 1 && run <= 100)
        expected = {v: true, x: up > 0 ? run : -run};
    }
    report.same(`${name} run`, [ours.v, ours.x], [expected.v, expected.x], `after ${n} candles`);
  }
}

function compareSeries(report, libs, ourLines, model) {
  for (const width of WIDTHS) {
    const ours = ourLines.filter((line) => line.e === 's' && line.w === width);
    const expected = model.get(width).out;
    report.same(`series ${width} notifications`, ours.length, expected.length);
    const rsiStates = new Map();
    const count = Math.min(ours.length, expected.length);
    for (let k = 0; k < count; ++k) {
      const {transition, list} = expected[k];
      const o = ours[k];
      const lastCandle = list.length ? Object.values(last(list)) : null;
      report.same(
          `series ${width} candles`, [o.tr, o.n, o.last], [transition, list.length, lastCandle],
          `at notification ${k}`);
      for (const indicator of INDICATORS.filter((i) => i[2] === width)) {
        if (!rsiStates.has(indicator[0])) rsiStates.set(indicator[0], {valid: false});
        const rsiState = rsiStates.get(indicator[0]);
        rsiState.transition = transition;
        compareIndicator(report, libs, indicator, o.ind[indicator[0]], list, rsiState);
      }
    }
  }
}

function compareVwap(report, libs, ourLines, events) {
  const ours = ourLines.filter((line) => line.e === 'p');
  const prints = events.filter((e) => e.kind === 'P');
  report.same('VWAP readings', ours.length, prints.length);
  let day = null;
  let tsVwap;
  let tiVwap;
  let volume = 0;
  prints.forEach((print, k) => {
    if (Math.floor(print.time) !== day) {
      day = Math.floor(print.time);
      tsVwap = new libs.ts.VWAP();
      tiVwap = new libs.ti.VWAP({high: [], low: [], close: [], volume: []});
      volume = 0;
    }
    // A print is a candle whose high, low and close are its price.
    let tiValue = null;
    if (!print.snapshot) {
      const candle = {high: print.price, low: print.price, close: print.price, volume: print.size};
      tsVwap.add(candle);
      tiValue = tiVwap.nextValue(candle);
      volume += print.size;
    }
    const o = ours[k]?.vwap;
    if (!o) return;
    report.same('VWAP validity', o.v, volume > 0);
    if (volume === 0) return;
    report.near('VWAP vs trading-signals', o.x, tsVwap.getResult());
    if (tiValue !== null) report.near('VWAP vs technicalindicators', o.x, tiValue);
  });
}

async function main() {
  const args = parseArgs();
  const work = path.resolve(args.work);
  const bars = fetchDependencies(args.npm, work);
  if (bars.close?.length !== 392) fail(`expected 392 bars in the sample data, found ${bars.close?.length}`);
  const libs = await loadLibraries(work);

  const tape = buildTape(bars);
  const tapeFile = path.join(work, 'tape.txt');
  const valuesFile = path.join(work, 'values.jsonl');
  fs.writeFileSync(tapeFile, tape.text);
  const fed = spawnSync(args.feeder, [tapeFile, valuesFile], {encoding: 'utf8', timeout: 120000});
  if (fed.status !== 0) fail(`the feeder failed (${fed.status ?? fed.signal}):\n${fed.stderr}`);
  const ourLines = fs.readFileSync(valuesFile, 'utf8').trim().split('\n').map((line) => JSON.parse(line));

  const report = new Report();
  compareSeries(report, libs, ourLines, modelSeries(tape.events));
  compareVwap(report, libs, ourLines, tape.events);

  console.log(' count  closest  comparison (closest: the largest difference as a share of what was allowed)');
  for (const [what, count] of [...report.counts].sort()) {
    const closest = report.closest.has(what) ? report.closest.get(what).toExponential(1) : '  exact';
    console.log(`${String(count).padStart(6)}  ${closest.padStart(7)}  ${what}`);
  }
  // Every comparison must have happened: a check that compared nothing would pass for nothing.
  const expectedKinds = [
    'vs trading-signals EMA', 'vs technicalindicators EMA', 'vs trading-signals CCI',
    'vs technicalindicators CCI', 'without deviation', 'vs trading-signals RSI', 'vs technicalindicators RSI',
    'of unchanged closes', 'slope vs', 'deviation vs', 'line end', 'intercept', ' run',
    'VWAP vs trading-signals', 'VWAP vs technicalindicators'
  ];
  for (const kind of expectedKinds) {
    if (![...report.counts.keys()].some((what) => what.includes(kind)))
      report.failures.push(`nothing compared: ${kind}`);
  }
  if (fed.stderr.trim()) console.log(`feeder log:\n${fed.stderr.trim().split('\n').slice(0, 5).join('\n')}`);
  if (report.failures.length > 0) {
    fail(`${report.failures.length} differences, the first ones:\n  ${
        report.failures.slice(0, 25).join('\n  ')}`);
  }
  console.log(`independent indicator check passed: ${
          [...report.counts.values()].reduce((a, b) => a + b, 0)} comparisons`);
}

main().catch((error) => fail(error.stack ?? String(error)));
