// SPDX-License-Identifier: GPL-3.0-or-later
// Encodes pictures with the ProRes encoder of the FFmpeg inside the npm
// package node-av (a newer FFmpeg than the system's, sharing no code with
// ours), with the settings of our ProRes writer: profile 4444, ALPHA_BITS-bit
// alpha, quantiser QUANTISER, vendor 'apl0', BT.709 limited range. INPUT holds
// yuva444p10le pictures, tightly packed plane after plane; OUTPUT receives
// the coded frames one after another (each starts with its own size).
//   node encode-prores-oracle.mjs PACKAGE_FOLDER INPUT OUTPUT WIDTH HEIGHT QUANTISER ALPHA_BITS
import { createRequire } from 'node:module';
import { readFileSync, writeFileSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import path from 'node:path';

const [packages, input, output, ...numbers] = process.argv.slice(2);
const [width, height, quantiser, alphaBits] = numbers.map(Number);
const load = async (name) => import(pathToFileURL(createRequire(path.join(path.resolve(packages), 'package.json')).resolve(name)).href);
const C = await load('node-av/constants');
const { Codec, CodecContext, Dictionary, FFmpegError, Frame, Packet } = await load('node-av/lib');

const pictureBytes = width * height * 2 * 4;
const pictures = readFileSync(input);
if (pictures.length % pictureBytes !== 0) throw new Error('input is not whole pictures');

const codec = Codec.findEncoderByName('prores_ks');
const encoder = new CodecContext();
encoder.allocContext3(codec);
encoder.width = width;
encoder.height = height;
encoder.pixelFormat = C.AV_PIX_FMT_YUVA444P10LE;
encoder.timeBase = { num: 1, den: 30 };
encoder.flags = C.AV_CODEC_FLAG_QSCALE;
encoder.globalQuality = quantiser * C.FF_QP2LAMBDA;
encoder.threadCount = 1;
const options = Dictionary.fromObject({ profile: '4444', alpha_bits: String(alphaBits), vendor: 'apl0' });
FFmpegError.throwIfError(await encoder.open2(codec, options), 'open2');

const frame = new Frame();
frame.alloc();
frame.format = C.AV_PIX_FMT_YUVA444P10LE;
frame.width = width;
frame.height = height;
FFmpegError.throwIfError(frame.allocBuffer(), 'allocBuffer');
const packet = new Packet();
packet.alloc();
const coded = [];
for (let at = 0; at < pictures.length; at += pictureBytes) {
  FFmpegError.throwIfError(frame.makeWritable(), 'makeWritable');
  FFmpegError.throwIfError(frame.fromBuffer(pictures.subarray(at, at + pictureBytes)), 'fromBuffer');
  frame.colorPrimaries = C.AVCOL_PRI_BT709;
  frame.colorTrc = C.AVCOL_TRC_BT709;
  frame.colorSpace = C.AVCOL_SPC_BT709;
  frame.colorRange = C.AVCOL_RANGE_MPEG;
  FFmpegError.throwIfError(await encoder.sendFrame(frame), 'sendFrame');
  FFmpegError.throwIfError(await encoder.receivePacket(packet), 'receivePacket');
  coded.push(Buffer.from(packet.data));
  packet.unref();
}
writeFileSync(output, Buffer.concat(coded));
