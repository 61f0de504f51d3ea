#!/usr/bin/env node
// Starts the pinned Signal K server (installed beside this file by
// install.sh) fed by the emulator's gateway, with a configuration of its own:
//
//   node serve.js --config DIR [--port 3000] [--gateway 35471]
//
// DIR gets a fresh settings.json at each start; the user's ~/.signalk is
// never read. The server has no option to listen on one address only, so
// this script binds 127.0.0.1:PORT itself and hands the socket over as
// systemd's socket activation does (LISTEN_FDS, descriptor 3), which the
// server supports: a port that is taken is said here, before anything runs.
// Says "ready: http://127.0.0.1:PORT/" on stdout once the server answers.
// Exit status: the server's; 2 bad arguments, 3 not installed, 4 port taken,
// 5 no answer within a minute.
'use strict'
const fs = require('fs')
const http = require('http')
const net = require('net')
const path = require('path')
const { spawn } = require('child_process')

function fail(status, text) {
  process.stderr.write(`serve.js: ${text}\n`)
  process.exit(status)
}

const options = { port: 3000, gateway: 35471, config: '' }
const args = process.argv.slice(2)
for (let i = 0; i < args.length; i += 2) {
  const name = args[i].replace(/^--/, '')
  const value = args[i + 1]
  if (!(name in options) || value === undefined) {
    fail(2, `usage: serve.js --config DIR [--port N] [--gateway N] (at ${args[i]})`)
  }
  if (name === 'config') {
    options.config = path.resolve(value)
  } else if (/^\d+$/.test(value) && Number(value) >= 1 && Number(value) <= 65535) {
    options[name] = Number(value)
  } else {
    fail(2, `--${name} takes a TCP port 1..65535, not "${value}"`)
  }
}
if (!options.config) fail(2, 'usage: serve.js --config DIR [--port N] [--gateway N]')

let serverMain
try {
  serverMain = require.resolve('signalk-server/bin/signalk-server', { paths: [__dirname] })
} catch {
  fail(3, `the Signal K server is not installed in ${__dirname}: run ${path.join(__dirname, 'install.sh')}`)
}

// The emulator's frames arrive as candump log lines; canboatjs reads them as
// it reads a candump file, and n2k-signalk turns them into Signal K paths.
// The TCP reader reconnects by itself (at most 5 s apart), so an emulator
// that stops and starts again is picked up without a restart here.
const settings = {
  interfaces: {
    // Only the web side: no Signal K or NMEA 0183 TCP streams on ports of
    // their own, no app store reaching out to the registry.
    tcp: false,
    'nmea-tcp': false,
    appstore: false
  },
  mdns: false,
  ssl: false,
  accessLogging: false,
  pipedProviders: [
    {
      id: 'emulator',
      enabled: true,
      pipeElements: [
        { type: 'providers/tcp', options: { host: '127.0.0.1', port: options.gateway } },
        { type: 'providers/liner' },
        { type: 'providers/canboatjs' },
        { type: 'providers/n2k-signalk' }
      ]
    }
  ]
}
const baseDeltas = [
  {
    context: 'vessels.self',
    updates: [
      {
        values: [
          {
            path: '',
            value: {
              name: 'Brendlow emulator',
              uuid: 'urn:mrn:signalk:uuid:6b0e5c1a-2d1f-4a57-9c8e-b7e2d0000001'
            }
          }
        ]
      }
    ]
  }
]
try {
  fs.mkdirSync(options.config, { recursive: true })
  fs.writeFileSync(path.join(options.config, 'settings.json'), JSON.stringify(settings, null, 2))
  fs.writeFileSync(path.join(options.config, 'baseDeltas.json'), JSON.stringify(baseDeltas, null, 2))
} catch (e) {
  fail(2, `cannot write the configuration in ${options.config}: ${e.message}`)
}

const listener = net.createServer()
listener.on('error', (e) => {
  if (e.code === 'EADDRINUSE') {
    fail(4, `port ${options.port} on 127.0.0.1 is taken (another Signal K server?); choose another one`)
  }
  fail(4, `cannot listen on 127.0.0.1:${options.port}: ${e.message}`)
})
listener.listen({ host: '127.0.0.1', port: options.port, exclusive: true }, () => {
  // A listening server's descriptor has no public accessor in node; on
  // Unix _handle.fd has been it for as long as node has had child_process.
  const server = spawn(process.execPath, [serverMain, '-c', options.config], {
    stdio: ['ignore', 'inherit', 'inherit', listener._handle.fd],
    env: {
      ...process.env,
      LISTEN_FDS: '1',
      SIGNALK_NODE_CONFIG_DIR: options.config,
      SIGNALK_DISABLE_SERVER_UPDATES: 'true',
      SKIP_ADMINUI_VERSION_CHECK: 'true'
    }
  })
  listener.close() // the server has its own copy of the socket
  for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP']) {
    process.on(signal, () => server.kill(signal))
  }
  server.on('exit', (code, signal) =>
    process.exit(code ?? 128 + (require('os').constants.signals[signal] ?? 0))
  )
  const url = `http://127.0.0.1:${options.port}/`
  const deadline = Date.now() + 60000
  const ask = () =>
    http
      .get(`${url}signalk`, (response) => {
        response.resume()
        if (response.statusCode === 200) process.stdout.write(`ready: ${url}\n`)
        else later()
      })
      .on('error', later)
  const later = () => {
    if (Date.now() < deadline) return setTimeout(ask, 250)
    process.stderr.write(`serve.js: the Signal K server did not answer at ${url} within a minute\n`)
    server.kill('SIGTERM')
    server.removeAllListeners('exit')
    server.on('exit', () => process.exit(5))
  }
  ask()
})
