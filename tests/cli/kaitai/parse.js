// Compiles .ksy descriptions with Kaitai Struct's own compiler and parses data
// files with the parsers it generates, for the export-ksy round trip test.
//
//   node parse.js NODE_MODULES JOBS.json
//
// JOBS.json is a list of {ksy, data, out}. Each out receives, for every root
// instance of the description in order, its records (one for an instance
// without repeat) as lists of field values in the order of the record type's
// instances: "i:<decimal>" for integers, "b:<hex bytes>" for everything else
// (floats as their IEEE bytes, text encoded back into windows-1252), or
// {"error": text} when compiling or parsing failed.
'use strict';
const fs = require('fs');
const path = require('path');
const { createRequire } = require('module');

const [modules, jobsFile] = process.argv.slice(2);
const load = createRequire(path.join(path.resolve(modules), 'index.js'));
const yaml = load('js-yaml');
const compiler = load('kaitai-struct-compiler');
const KaitaiStream = load('kaitai-struct/KaitaiStream');

// The runtime reads 8-byte integers into doubles: exact only below 2^53, and
// wrong for some negative values (kaitai_struct_javascript_runtime PR #16,
// kaitai_struct issue #183). The description is what is tested here, so they
// are read exactly.
KaitaiStream.prototype.readS8le = function () {
    const b = this.readBytes(8);
    return new DataView(b.buffer, b.byteOffset, 8).getBigInt64(0, true);
};
KaitaiStream.prototype.readU8le = function () {
    const b = this.readBytes(8);
    return new DataView(b.buffer, b.byteOffset, 8).getBigUint64(0, true);
};

const toCp1252 = new Map();
{
    const decoder = new TextDecoder('windows-1252');
    for (let b = 0; b < 256; ++b)
        toCp1252.set(decoder.decode(Uint8Array.of(b)), b);
}
const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');

// Kaitai's JavaScript names: lower camel case of the identifier.
const camel = (id) => id.split('_').map((p, i) => (i === 0 || !p ? p : p[0].toUpperCase() + p.slice(1))).join('');

function value(attrs, v) {
    const type = attrs.type;
    if (type === undefined)
        return 'b:' + hex(v);
    if (/^[su][1248]$/.test(type))
        return 'i:' + v.toString();
    if (type === 'f4' || type === 'f8') {
        const view = new DataView(new ArrayBuffer(type === 'f4' ? 4 : 8));
        if (type === 'f4')
            view.setFloat32(0, v, true);
        else
            view.setFloat64(0, v, true);
        return 'b:' + hex(new Uint8Array(view.buffer));
    }
    if (type === 'str' || type === 'strz') {
        const bytes = [];
        for (const ch of v) {
            if (!toCp1252.has(ch))
                throw new Error('no windows-1252 byte for ' + JSON.stringify(ch));
            bytes.push(toCp1252.get(ch));
        }
        return 'b:' + hex(bytes);
    }
    throw new Error('unexpected type ' + type);
}

async function run(job) {
    const ksy = yaml.load(fs.readFileSync(job.ksy, 'utf8'));
    const files = await compiler.compile('javascript', ksy, null, false);
    const source = Object.values(files)[0];
    const module = { exports: {} };
    new Function('module', 'exports', 'require', source)(module, module.exports, load);
    const Parser = Object.values(module.exports)[0];
    const parsed = new Parser(new KaitaiStream(fs.readFileSync(job.data)));
    const segments = [];
    for (const [id, attrs] of Object.entries(ksy.instances || {})) {
        const typeName = attrs.type.replace(/\(.*$/, '');
        const fields = Object.entries((ksy.types[typeName] || {}).instances || {});
        const got = parsed[camel(id)];
        const records = [];
        for (const record of attrs.repeat ? got : [got])
            records.push(fields.map(([fid, fattrs]) => value(fattrs, record[camel(fid)])));
        segments.push(records);
    }
    return { segments };
}

(async () => {
    for (const job of JSON.parse(fs.readFileSync(jobsFile, 'utf8'))) {
        let result;
        try {
            result = await run(job);
        } catch (e) {
            result = { error: String(e && e.stack ? e.stack : e) };
        }
        fs.writeFileSync(job.out, JSON.stringify(result));
    }
})();
