#!/usr/bin/env node
// Decodes a candump log (`(SECONDS.MICROS) can0 IIIIIIII#HEX`, a file or "-"
// for stdin) with the field's standard NMEA 2000 decoder and writes one JSON
// object per message on stdout: {"time", "pgn", "src", "dst", "fields"}.
//
// The decoder is told to keep raw numbers (no lookup names, no range check),
// so what differs from the panel is the decoder's own presentation, which the
// cross-check's allowance table names. It stamps messages with the wall
// clock, so "time" is taken here from the candump line that completed the
// message: the cross-check uses it to tell which device state a message
// belongs to.
//
// A bit field comes from the decoder as the list of its set bits' names
// (unnamed bits as null); it is written here as {"bits": MASK, "unnamed": N},
// MASK made of the named bits with the decoder's own name table, so that it
// can be compared with the raw word.
'use strict'

const fs = require('fs')
const readline = require('readline')
const { FromPgn } = require('@canboat/canboatjs')
const pgns = require('@canboat/ts-pgns')

function bitsOf(pgn, fieldId, names) {
  const definitions = pgns.getPGNWithNumber(pgn) || []
  const field = definitions
    .flatMap((definition) => definition.Fields)
    .find((f) => f.Id === fieldId && f.LookupBitEnumeration)
  if (!field) return names
  let bits = 0
  let unnamed = 0
  for (const name of names) {
    const bit = name == null ? undefined : pgns.getBitEnumerationValue(field.LookupBitEnumeration, name)
    if (bit === undefined) unnamed++
    else bits += 2 ** bit
  }
  return { bits, unnamed }
}

function withBits(pgn, fields) {
  const out = {}
  for (const [id, value] of Object.entries(fields)) out[id] = Array.isArray(value) ? bitsOf(pgn, id, value) : value
  return out
}

function main() {
  const args = process.argv.slice(2)
  if (args.length !== 1 || args[0] === '--help' || args[0] === '-h') {
    process.stderr.write('usage: decode.js CANDUMP_FILE|-\n')
    process.exit(args[0] === '--help' || args[0] === '-h' ? 0 : 64)
  }
  const input = args[0] === '-' ? process.stdin : fs.createReadStream(args[0])
  input.on('error', (error) => {
    process.stderr.write(`decode.js: ${error.message}\n`)
    process.exit(1)
  })

  const parser = new FromPgn({
    resolveEnums: false,
    checkForInvalidFields: false,
    returnNulls: false,
    useCamel: true
  })
  let problems = 0
  parser.on('error', (pgn, error) => {
    problems++
    process.stderr.write(`decode.js: ${error}: ${JSON.stringify(pgn)}\n`)
  })

  const out = []
  const lines = readline.createInterface({ input, crlfDelay: Infinity })
  lines.on('line', (line) => {
    const time = /^\((\d+\.\d+)\)/.exec(line)
    if (!time) {
      if (line.trim() !== '') {
        problems++
        process.stderr.write(`decode.js: not a candump line: ${line}\n`)
      }
      return
    }
    const message = parser.parseString(line)
    if (!message) return // a fast packet's frame before its last
    out.push(
      JSON.stringify({
        time: time[1],
        pgn: message.pgn,
        src: message.src,
        dst: message.dst,
        fields: withBits(message.pgn, message.fields)
      })
    )
    if (out.length >= 1000) process.stdout.write(out.splice(0).join('\n') + '\n')
  })
  lines.on('close', () => {
    if (out.length) process.stdout.write(out.join('\n') + '\n')
    process.exitCode = problems ? 1 : 0
  })
}

main()
