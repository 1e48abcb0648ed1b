// SPDX-License-Identifier: GPL-3.0-or-later
// Decodes the video track of a movie with the FFmpeg inside the npm package
// node-av (a decoder independent of the system's FFmpeg, and one that
// understands an HEVC alpha layer). Writes every decoded frame, tightly
// packed plane after plane, to OUTPUT and prints a JSON summary. OUTPUT "-"
// streams the frames to stdout as they come, so that a reader can check a
// long movie without storing it; the summary then goes to stderr.
//   node decode-hevc-alpha.mjs PACKAGE_FOLDER INPUT OUTPUT
// PACKAGE_FOLDER is where install-hevc-alpha-decoder.cmake installed node-av.
import { createRequire } from 'node:module';
import { openSync, writeSync, closeSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import path from 'node:path';

const [packages, input, output] = process.argv.slice(2);
const load = async (name) => import(pathToFileURL(createRequire(path.join(path.resolve(packages), 'package.json')).resolve(name)).href);
const { AVERROR_EOF, AVMEDIA_TYPE_VIDEO, AV_LOG_WARNING } = await load('node-av/constants');
const { Codec, CodecContext, FFmpegError, FormatContext, Frame, Log, Packet, avGetPixFmtName } = await load('node-av/lib');
// The decoder's warnings go to stderr whatever the package's default, so
// that the tests can see a stream the decoder complains about.
Log.setLevel(AV_LOG_WARNING);

const formatContext = new FormatContext();
FFmpegError.throwIfError(await formatContext.openInput(input), 'openInput');
FFmpegError.throwIfError(await formatContext.findStreamInfo(), 'findStreamInfo');
const index = formatContext.findBestStream(AVMEDIA_TYPE_VIDEO);
const stream = formatContext.streams[index];
const codec = Codec.findDecoder(stream.codecpar.codecId);
const decoder = new CodecContext();
decoder.allocContext3(codec);
FFmpegError.throwIfError(decoder.parametersToContext(stream.codecpar), 'parametersToContext');
FFmpegError.throwIfError(await decoder.open2(codec, null), 'open2');

const streaming = output === '-';
// fd 1 is the pipe inherited blocking (process.stdout is never touched); a
// short write or EAGAIN is retried until the whole frame is out.
const out = streaming ? 1 : openSync(output, 'w');
function writeAll(buffer) {
  for (let at = 0; at < buffer.length;) {
    try {
      at += writeSync(out, buffer, at, buffer.length - at);
    } catch (error) {
      if (error.code !== 'EAGAIN') throw error;
    }
  }
}
const summary = { frames: 0, formats: [], widths: [], heights: [], pts: [] };
const packet = new Packet();
packet.alloc();
const frame = new Frame();
frame.alloc();

async function drain() {
  for (;;) {
    const ret = await decoder.receiveFrame(frame);
    if (ret === AVERROR_EOF || ret < 0) return;
    summary.frames += 1;
    const name = avGetPixFmtName(frame.format);
    if (!summary.formats.includes(name)) summary.formats.push(name);
    if (!summary.widths.includes(frame.width)) summary.widths.push(frame.width);
    if (!summary.heights.includes(frame.height)) summary.heights.push(frame.height);
    summary.pts.push(Number(frame.pts));
    writeAll(frame.toBuffer());
    frame.unref();
  }
}

for (;;) {
  const ret = await formatContext.readFrame(packet);
  if (ret < 0) break;
  if (packet.streamIndex === index) {
    FFmpegError.throwIfError(await decoder.sendPacket(packet), 'sendPacket');
    await drain();
  }
  packet.unref();
}
await decoder.sendPacket(null);
await drain();
if (streaming) {
  console.error(JSON.stringify(summary));
} else {
  closeSync(out);
  console.log(JSON.stringify(summary));
}
