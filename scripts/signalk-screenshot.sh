#!/usr/bin/env bash
# A screenshot of the Signal K server's data browser while it reads the
# emulator's bus, for docs/signalk.md: the emulator at level 70 and the
# pinned Signal K server, both on free ports and with their links and
# configuration in a temporary folder (a running ./run.sh is not disturbed),
# and headless Chromium, driven over its DevTools pipe, showing the engine's
# paths once their values have arrived.
#   scripts/signalk-screenshot.sh [BUILD [OUT.png]]
#   (default: build and docs/signalk-databrowser.png)
# Installs Debian's chromium when the command is missing. Stops everything it
# started and removes its folder on every exit; exits non-zero and says why
# when anything fails.
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/common.sh"
. "$ROOT/scripts/signalk.sh"

fail() {
    echo "signalk-screenshot: $*" >&2
    exit 1
}

case "${1:-}" in -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
[ $# -le 2 ] || fail "usage: scripts/signalk-screenshot.sh [BUILD [OUT.png]]"
build=$(cd "${1:-$ROOT/build}" 2>/dev/null && pwd) || fail "no build folder ${1:-$ROOT/build}"
for program in BrendlowEmulator brendlowctl; do
    [ -x "$build/$program" ] || fail "$build/$program is missing: build first (./run.sh or cmake --build)"
done
out=${2:-$ROOT/docs/signalk-databrowser.png}
case "$out" in /*) ;; *) out="$PWD/$out" ;; esac
[ -d "$(dirname "$out")" ] || fail "no folder for $out"

# Only this script needs a browser, so it is not among the project's packages.
if ! command -v chromium >/dev/null; then
    printf 'Installing Debian'"'"'s chromium ... '
    log=$(mktemp)
    if { as_root apt-get update -qq &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium; } >"$log" 2>&1 &&
        command -v chromium >/dev/null; then
        echo "done"
        rm -f "$log"
    else
        echo "failed:"
        cat "$log" >&2
        rm -f "$log"
        fail "could not install Debian's chromium package"
    fi
fi

work=$(mktemp -d)
emulator=""
driver=""
cleanup() {
    # The driver closes its browser when it is stopped.
    for pid in $driver $emulator; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    stop_signalk
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# free_ports N: N TCP ports on 127.0.0.1 that nothing listens on now.
free_ports() {
    node -e '
        const net = require("net")
        const servers = []
        for (let i = 0; i < Number(process.argv[1]); i++) servers.push(net.createServer().listen(0, "127.0.0.1"))
        Promise.all(servers.map((s) => new Promise((ok) => s.on("listening", ok)))).then(() => {
            console.log(servers.map((s) => s.address().port).join(" "))
            servers.forEach((s) => s.close())
        })' "$1"
}
read -r gateway port < <(free_ports 2) && [ -n "${port:-}" ] || fail "found no free TCP ports"

# The bus side runs for the gateway alone: no --can, so the demo bus of a
# running ./run.sh is left alone.
"$build/BrendlowEmulator" --link "$work/COM1" --gateway "$gateway" >"$work/emulator.out" 2>&1 &
emulator=$!
for _ in $(seq 50); do
    [ -e "$work/COM1" ] && break
    kill -0 "$emulator" 2>/dev/null || break
    sleep 0.1
done
[ -e "$work/COM1" ] || { cat "$work/emulator.out" >&2; fail "the emulator made no link"; }
"$build/brendlowctl" --port "$work/COM1" level 70 >/dev/null || fail "the emulator did not take level 70"

printf 'Starting the Signal K server ... '
start_signalk "$work" "$port" "$gateway" "$work/signalk.out" || fail "the Signal K server did not come up"
echo "done (http://127.0.0.1:$port/)"

# The data browser is a React app fed over a WebSocket that asks only for the
# rows in view, and it sorts its paths: Chromium's own --screenshot would
# shoot before the values come, and at the top of the page, where the
# engine's many notifications.* paths stand (a search for propulsion.port
# finds these too). So node drives Chromium over its DevTools pipe (no port,
# no npm package) and takes the picture once every engine path of
# docs/signalk.md's table shows a value, scrolled to them.
cat >"$work/shoot.js" <<'JS'
'use strict'
const { spawn } = require('child_process')
const fs = require('fs')
const [url, out, profile, ...paths] = process.argv.slice(2)
const width = 1280
const height = 900
const seconds = 60

const args = [
  '--headless',
  '--remote-debugging-pipe',
  `--user-data-dir=${profile}`,
  `--window-size=${width},${height}`,
  '--hide-scrollbars',
  '--no-first-run',
  'about:blank'
]
// Chromium refuses to run as root inside its sandbox.
if (process.getuid() === 0) args.unshift('--no-sandbox')
// Its temporary files go into the profile's folder, removed with it.
const browser = spawn('chromium', args, {
  stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'],
  env: { ...process.env, TMPDIR: profile }
})
let said = ''
browser.stderr.on('data', (d) => (said += d))
const exit = new Promise((resolve) => browser.on('exit', resolve))
// Ends here only once the browser has: its last processes remove their
// files as they end, and the caller removes the folder after us.
let closing = false
async function quit(status) {
  closing = true
  if (browser.exitCode === null && browser.signalCode === null) {
    browser.kill('SIGTERM')
    const timer = setTimeout(() => browser.kill('SIGKILL'), 10000)
    await exit
    clearTimeout(timer)
  }
  process.exit(status)
}
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) process.on(signal, () => quit(1))
let failed = false
function fail(text) {
  if (!failed) {
    failed = true
    process.stderr.write(`${text}\n`)
    // Without a desktop session it complains about D-Bus at every start, and
    // Debian's launcher misreads /dev/shm's size when it is mounted twice.
    const lines = said.split('\n').filter((line) => line.trim() && !/dbus|unexpected operator/i.test(line))
    if (lines.length > 0) process.stderr.write(`Chromium said:\n${lines.slice(-15).join('\n')}\n`)
  }
  quit(1)
}
browser.on('error', (e) => fail(`cannot run chromium: ${e.message}`))
browser.on('exit', (code, signal) => closing || fail(`Chromium ended early (${signal ?? `exit status ${code}`})`))
// A browser that ended is told by its exit; a write to it meanwhile fails.
browser.stdio[3].on('error', () => {})

// The pipe carries JSON messages, each ended by a NUL byte.
let nextId = 1
const waiting = new Map()
let received = ''
browser.stdio[4].on('data', (data) => {
  received += data
  for (let end; (end = received.indexOf('\0')) >= 0; received = received.slice(end + 1)) {
    const message = JSON.parse(received.slice(0, end))
    const caller = waiting.get(message.id)
    if (!caller) continue
    waiting.delete(message.id)
    if (message.error) caller.reject(new Error(`${caller.method}: ${message.error.message}`))
    else caller.resolve(message.result)
  }
})
browser.stdio[4].on('end', () => {
  for (const caller of waiting.values()) caller.reject(new Error(`Chromium ended during ${caller.method}`))
})
function send(method, params = {}, sessionId = undefined) {
  const id = nextId++
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0')
  return new Promise((resolve, reject) => waiting.set(id, { method, resolve, reject }))
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms))

// In the page: the paths that show no value yet; [] once all of them do.
// The table draws only the rows near the view, and the engine's are among
// the last: it scrolls to the end for the next look.
function missing(paths) {
  const shown = new Set()
  for (const row of document.querySelectorAll('.virtual-table-row')) {
    const cells = row.querySelectorAll('.virtual-table-cell')
    if (cells.length > 1 && cells[1].textContent.trim()) shown.add(cells[0].textContent.trim())
  }
  if (document.documentElement) window.scrollTo(0, document.documentElement.scrollHeight)
  return paths.filter((p) => !shown.has(p))
}
// In the page: scrolls the first engine row, and one row before it, under
// the fixed header.
function scrollToEngine(prefix) {
  const rows = [...document.querySelectorAll('.virtual-table-row')]
  const first = rows.findIndex((r) => r.querySelector('.virtual-table-cell').textContent.trim().startsWith(prefix))
  const header = document.querySelector('header').getBoundingClientRect().bottom
  window.scrollBy(0, rows[Math.max(first - 1, 0)].getBoundingClientRect().top - header)
}

;(async () => {
  const { targetInfos } = await send('Target.getTargets')
  const page = targetInfos.find((t) => t.type === 'page')
  if (!page) throw new Error('Chromium opened no page')
  const { sessionId } = await send('Target.attachToTarget', { targetId: page.targetId, flatten: true })
  const inPage = (method, params) => send(method, params, sessionId)
  const evaluate = async (f, ...values) => {
    const expression = `(${f})(...${JSON.stringify(values)})`
    const { result, exceptionDetails } = await inPage('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true })
    if (exceptionDetails) throw new Error(`in the page: ${exceptionDetails.exception?.description ?? exceptionDetails.text}`)
    return result.value
  }
  await inPage('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false })
  await inPage('Page.navigate', { url })
  const deadline = Date.now() + seconds * 1000
  let left = paths
  while ((left = await evaluate(missing, paths)).length > 0) {
    if (Date.now() > deadline) {
      throw new Error(`the data browser showed no value for ${left.join(', ')} within ${seconds} s`)
    }
    await sleep(250)
  }
  await evaluate(scrollToEngine, 'propulsion.port.')
  // Fonts, and the rows the virtual table draws after the scroll.
  await evaluate(() => document.fonts.ready.then(() => new Promise((r) => setTimeout(r, 500))))
  const shot = await inPage('Page.captureScreenshot', { format: 'png' })
  fs.writeFileSync(out, Buffer.from(shot.data, 'base64'))
  closing = true // as it closes
  await send('Browser.close')
  await quit(0)
})().catch((e) => fail(e.message))
JS

# The engine's paths, as docs/signalk.md's table gives them.
mapfile -t engine < <(grep -o '`propulsion\.port\.[A-Za-z.]*`' "$ROOT/docs/signalk.md" | tr -d '`' | sort -u)
[ ${#engine[@]} -gt 0 ] || fail "found no propulsion.port paths in docs/signalk.md"
printf 'Taking the screenshot with headless Chromium ... '
mkdir "$work/chromium"
# Into the folder first: a failed run keeps the picture there was.
shot=$work/shot.png
node "$work/shoot.js" "http://127.0.0.1:$port/admin/#/databrowser" "$shot" "$work/chromium" "${engine[@]}" \
    2>"$work/shoot.err" &
driver=$!
status=0
wait "$driver" || status=$?
driver=""
if [ "$status" -ne 0 ]; then
    echo "failed:"
    cat "$work/shoot.err" >&2
    exit 1
fi
# A page that drew nothing is one or two colours.
read -r size colours < <(identify -format '%wx%h %k\n' "$shot" 2>/dev/null) || true
if [ "${size:-}" != 1280x900 ] || [ "${colours:-0}" -lt 16 ]; then
    echo "failed"
    fail "the picture is empty (${size:-no picture}, ${colours:-0} colours)"
fi
mv "$shot" "$out" || fail "cannot write $out"
echo "done"
echo "Saved the data browser to $out"
