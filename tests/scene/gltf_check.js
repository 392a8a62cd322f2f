// Validates a glTF file with the Khronos validator and lists what it holds,
// one fact a line, for the scene tests to compare:
//   errors N / error CODE MESSAGE POINTER
//   meshes N, primitives N, images N, cameras N, nodes N
//   mesh NAME / prim MODE COUNT MATERIAL WRITTEN / pos X Y Z ... / col R G B [A] ...
//     (COUNT vertices as drawn, through the indices where there are any;
//     WRITTEN of them stored)
//   image WIDTH HEIGHT
// usage: node gltf_check.js VALIDATOR_FOLDER FILE
'use strict';
const fs = require('fs');
const path = require('path');

const validator = require(path.join(process.argv[2], 'node_modules', 'gltf-validator'));
const file = process.argv[3];
const bytes = new Uint8Array(fs.readFileSync(file));

// The JSON and the binary buffer, from a .glb container or a .gltf with a data URI.
function unpack(b) {
  const view = new DataView(b.buffer, b.byteOffset, b.byteLength);
  if (b.length >= 12 && view.getUint32(0, true) === 0x46546c67) {
    let json = null, bin = new Uint8Array(0);
    for (let at = 12; at + 8 <= b.length;) {
      const len = view.getUint32(at, true), type = view.getUint32(at + 4, true);
      const chunk = b.subarray(at + 8, at + 8 + len);
      if (type === 0x4e4f534a) json = JSON.parse(Buffer.from(chunk).toString('utf8'));
      if (type === 0x004e4942) bin = chunk;
      at += 8 + len;
    }
    return { json, bin };
  }
  const json = JSON.parse(Buffer.from(b).toString('utf8'));
  let bin = new Uint8Array(0);
  if (json.buffers && json.buffers[0].uri) {
    const uri = json.buffers[0].uri;
    bin = new Uint8Array(Buffer.from(uri.slice(uri.indexOf(',') + 1), 'base64'));
  }
  return { json, bin };
}

// An accessor's numbers: floats, or the 16- or 32-bit unsigned indices.
function numbers(g, bin, index) {
  const a = g.accessors[index], v = g.bufferViews[a.bufferView];
  const size = { SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4 }[a.type];
  const start = bin.byteOffset + (v.byteOffset || 0) + (a.byteOffset || 0);
  const kind = { 5126: Float32Array, 5123: Uint16Array, 5125: Uint32Array }[a.componentType];
  const n = new kind(bin.buffer.slice(start, start + a.count * size * kind.BYTES_PER_ELEMENT));
  return { size, values: Array.from(n, (x) => (a.componentType === 5126 ? Number(x.toPrecision(6)) : x)) };
}

// A vertex attribute of a primitive, vertex by vertex as drawn (through
// its indices, when it has them).
function floats(g, bin, p, attribute) {
  const { size, values } = numbers(g, bin, p.attributes[attribute]);
  if (p.indices === undefined) return values;
  const out = [];
  for (const i of numbers(g, bin, p.indices).values) out.push(...values.slice(i * size, i * size + size));
  return out;
}

validator.validateBytes(bytes, { uri: file, maxIssues: 100 }).then((report) => {
  const out = [];
  out.push('errors ' + report.issues.numErrors);
  for (const m of report.issues.messages)
    if (m.severity === 0) out.push('error ' + m.code + ' ' + m.message + ' ' + (m.pointer || ''));
  const { json: g, bin } = unpack(bytes);
  const count = (k) => (g[k] ? g[k].length : 0);
  let prims = 0;
  for (const m of g.meshes || []) prims += m.primitives.length;
  out.push('meshes ' + count('meshes'), 'primitives ' + prims, 'images ' + count('images'),
           'cameras ' + count('cameras'), 'nodes ' + count('nodes'));
  for (const m of g.meshes || []) {
    out.push('mesh ' + m.name);
    for (const p of m.primitives) {
      const pos = floats(g, bin, p, 'POSITION');
      const written = g.accessors[p.attributes.POSITION].count;
      out.push('prim ' + p.mode + ' ' + pos.length / 3 + ' ' + p.material + ' ' + written);
      out.push('pos ' + pos.join(' '));
      if (p.attributes.COLOR_0 !== undefined) out.push('col ' + floats(g, bin, p, 'COLOR_0').join(' '));
    }
  }
  for (const im of g.images || []) {
    const v = g.bufferViews[im.bufferView];
    const png = new DataView(bin.buffer, bin.byteOffset + (v.byteOffset || 0), v.byteLength);
    out.push('image ' + png.getUint32(16) + ' ' + png.getUint32(20));
  }
  console.log(out.join('\n'));
}, (err) => {
  console.log('errors 1\nerror VALIDATOR ' + err);
});
