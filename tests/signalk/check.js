// A real Signal K server fed by the emulator's gateway, checked through its
// REST API against what brendlowctl reports, by the table in docs/signalk.md;
// then the faults: the emulator stopped and started again under the running
// server, the server's and the gateway's ports taken, the server missing.
//   node check.js SOURCE-FOLDER BUILD-FOLDER
'use strict'
const { spawn, spawnSync } = require('child_process')
const fs = require('fs')
const net = require('net')
const os = require('os')
const path = require('path')

const [src, build] = process.argv.slice(2)
const sandbox = fs.mkdtempSync(path.join(os.tmpdir(), 'signalk-check-'))
const link = path.join(sandbox, 'COM1')
const children = new Set()
let failures = 0

function fail(text) {
  console.error(`test_signalk: ${text}`)
  failures++
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

function start(program, args) {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] })
  child.output = ''
  child.stdout.on('data', (d) => (child.output += d))
  child.stderr.on('data', (d) => (child.output += d))
  child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)))
  children.add(child)
  child.on('exit', () => children.delete(child))
  return child
}
// Stopped as a user stops it; an emulator must end cleanly (status 0), which
// under the sanitizers also means no fault on its way out.
async function stop(child, what) {
  child.kill('SIGTERM')
  const code = await child.exited
  if (what && code !== 0) fail(`${what} ended with ${code} when stopped: ${child.output.slice(-2000)}`)
}
async function until(what, ms, test) {
  const deadline = Date.now() + ms
  for (;;) {
    const result = await test()
    if (result) return result
    if (Date.now() > deadline) throw new Error(`${what}: not within ${ms / 1000} s`)
    await sleep(100)
  }
}
function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address()
      server.close(() => resolve(port))
    })
  })
}
function ctl(...args) {
  const run = spawnSync(path.join(build, 'brendlowctl'), ['--port', link, ...args], {
    encoding: 'utf8',
    timeout: 20000
  })
  if (run.status !== 0) throw new Error(`brendlowctl ${args.join(' ')}: ${run.status} ${run.stderr}`)
  return run.stdout
}

// The table: read-out caption, where Signal K shows it (a path, a property
// of its value, a condition on a text box) and how its value follows.
function readTable() {
  const doc = fs.readFileSync(path.join(src, 'docs/signalk.md'), 'utf8')
  const section = doc.split("## What Signal K shows for the panel's read-outs")[1].split('\n## ')[0]
  const rows = []
  for (const line of section.split('\n')) {
    const cells = line.split('|').slice(1, -1).map((c) => c.trim())
    if (cells.length !== 5 || cells[0] === 'read-out' || cells[0].startsWith('---')) continue
    const [caption, where, value, tolerance] = cells
    const places = where.split(/,\s*/).map((part) => {
      const m = /^`([^`]+)`(?: (\w+))?(?: if (.+) is (\S+))?$/.exec(part)
      if (!m) throw new Error(`docs/signalk.md: cannot read "${part}" for ${caption}`)
      return { path: m[1], property: m[2], when: m[3] && { caption: m[3], text: m[4] } }
    })
    let convert
    const scale = /^x(?: ([*/]) ([\d.]+))?$/.exec(value)
    if (scale) {
      const k = Number(scale[2] ?? 1)
      convert = scale[1] === '/' ? (x) => x / k : (x) => x * k
    } else {
      const names = Object.fromEntries([...value.matchAll(/(\d+) (\w+)/g)].map((m) => [m[1], m[2]]))
      if (Object.keys(names).length === 0) throw new Error(`docs/signalk.md: cannot read "${value}"`)
      convert = (x) => names[x]
    }
    rows.push({ caption, places, convert, tolerance: Number(tolerance || 0) })
  }
  if (rows.length < 30) throw new Error(`docs/signalk.md: only ${rows.length} rows read`)
  return rows
}

async function self(port) {
  const response = await fetch(`http://127.0.0.1:${port}/signalk/v1/api/vessels/self`)
  if (!response.ok) throw new Error(`REST API: ${response.status}`)
  return response.json()
}
function leaf(model, dotted) {
  return dotted.split('.').reduce((node, key) => node?.[key], model)
}

// Every row against one brendlowctl record; the rows that do not hold.
function compare(rows, record, model) {
  const readouts = Object.fromEntries(record.readouts.map((r) => [r.caption, r.value]))
  const texts = Object.fromEntries(record.texts.map((t) => [t.caption, t.text]))
  const wrong = []
  for (const row of rows) {
    const place = row.places.find((p) => !p.when || texts[p.when.caption] === p.when.text)
    if (!place) {
      wrong.push(`${row.caption}: no path for ${JSON.stringify(texts)}`)
      continue
    }
    const want = row.convert(readouts[row.caption])
    const node = leaf(model, place.path)
    const got = place.property ? node?.value?.[place.property] : node?.value
    const ok =
      typeof want === 'number'
        ? typeof got === 'number' &&
          Math.abs(got - want) <= Math.max(row.tolerance, 1e-9 * Math.abs(want))
        : got === want
    if (!ok) wrong.push(`${row.caption}: panel ${readouts[row.caption]}, so ${want} at ${place.path}; Signal K ${got}`)
  }
  return wrong
}

async function main() {
  const gateway = await freePort()
  const port = await freePort()
  const emulatorArgs = ['--link', link, '--gateway', String(gateway)]
  let emulator = start(path.join(build, 'BrendlowEmulator'), emulatorArgs)
  await until('the emulator', 5000, () => fs.existsSync(link))
  const serve = path.join(src, 'signalk/serve.js')
  const server = start(process.execPath, [serve, '--config', path.join(sandbox, 'config'), '--port', String(port), '--gateway', String(gateway)])
  await until('the Signal K server', 60000, () => /^ready: /m.test(server.output))
  const rows = readTable()
  // The data browser the README sends people to: the admin UI must be found
  // where npm put it.
  const admin = await fetch(`http://127.0.0.1:${port}/admin/`)
  if (admin.status !== 200) fail(`the admin UI (data browser) answers ${admin.status}`)

  // Each level until every row holds (the tanks come every 2.5 s), or what
  // still differs after 10 s.
  for (const level of [10, 50, 90]) {
    ctl('level', String(level))
    const record = JSON.parse(ctl('watch', '--json', '--count', '1'))
    let wrong = []
    try {
      await until(`level ${level}`, 10000, async () => {
        wrong = compare(rows, record, await self(port))
        return wrong.length === 0
      })
      console.log(`level ${level}: all ${rows.length} read-outs as the table says`)
    } catch {
      for (const w of wrong) fail(`level ${level}: ${w}`)
    }
  }

  // The emulator stops: the values stay, their time stamps do not move.
  const speedAt = async () => leaf(await self(port), 'propulsion.port.revolutions')
  await stop(emulator, 'the emulator')
  await sleep(500)
  const before = await speedAt()
  await sleep(1500)
  const after = await speedAt()
  if (after.timestamp !== before.timestamp) fail(`engine speed still fresh after the emulator stopped: ${before.timestamp}, ${after.timestamp}`)
  else console.log(`emulator stopped: engine speed stale at ${after.timestamp}`)

  // Started again (at level 50), the server picks it up by itself.
  emulator = start(path.join(build, 'BrendlowEmulator'), emulatorArgs)
  try {
    const fresh = await until('fresh values after a restart', 20000, async () => {
      const speed = await speedAt()
      return speed.timestamp > after.timestamp && Math.abs(speed.value - 5000 / 60) < 0.001 && speed
    })
    console.log(`emulator started again: engine speed ${fresh.value * 60} RPM at ${fresh.timestamp}`)
  } catch (e) {
    fail(e.message)
  }

  // Taken ports and a missing server: a clear message, a failure status, and
  // nothing left running.
  const checkRefusal = async (what, program, args, status, text) => {
    const child = start(program, args)
    const timer = setTimeout(() => child.kill('SIGKILL'), 20000)
    const code = await child.exited
    clearTimeout(timer)
    if (code !== status || !text.test(child.output)) fail(`${what}: status ${code}, said: ${child.output.trim()}`)
    else console.log(`${what}: ${child.output.trim().split('\n').pop()}`)
  }
  await checkRefusal('server port taken', process.execPath, [serve, '--config', path.join(sandbox, 'other'), '--port', String(port)], 4, /port \d+ on 127\.0\.0\.1 is taken/)
  await checkRefusal('gateway port taken', path.join(build, 'BrendlowEmulator'), ['--gateway', String(gateway)], 1, /Cannot serve the bus on 127\.0\.0\.1:\d+/)
  fs.mkdirSync(path.join(sandbox, 'bare'))
  fs.copyFileSync(serve, path.join(sandbox, 'bare/serve.js'))
  await checkRefusal('server not installed', process.execPath, [path.join(sandbox, 'bare/serve.js'), '--config', path.join(sandbox, 'bare')], 3, /not installed/)

  await stop(server)
  await stop(emulator, 'the restarted emulator')
}

main()
  .catch((e) => fail(e.stack))
  .finally(async () => {
    for (const child of children) child.kill('SIGKILL')
    fs.rmSync(sandbox, { recursive: true, force: true })
    process.exit(failures === 0 ? 0 : 1)
  })
