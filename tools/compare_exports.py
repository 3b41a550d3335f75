#!/usr/bin/env python3
"""Exports Blu-ray subtitle streams with vantrel-cli and compares FFmpeg's decode of each
source with its export: the screen at the middle of every interval between two changes of
either stream, alpha exact and colour within a tolerance.

usage: compare_exports.py VANTREL_CLI STREAM.sup... [--tolerance 3] [--work DIR]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile


def video_size(path):
    """Width and height named by the first composition segment."""
    data = open(path, 'rb').read()
    at = 0
    while at + 13 <= len(data):
        kind = data[at + 10]
        length = struct.unpack('>H', data[at + 11:at + 13])[0]
        if kind == 0x16:
            return struct.unpack('>HH', data[at + 13:at + 17])
        at += 13 + length
    return 1920, 1080


def shown_times(path):
    """(time in seconds, rectangles) of every subtitle frame FFmpeg's decoder gives."""
    out = subprocess.run(['ffprobe', '-v', 'error', '-show_frames', '-of', 'compact', path],
                         check=True, capture_output=True, text=True).stdout
    times = []
    for line in out.splitlines():
        fields = dict(f.split('=', 1) for f in line.split('|')[1:] if '=' in f)
        if 'pts_time' in fields:
            times.append((float(fields['pts_time']), int(fields.get('num_rects', '0'))))
    return times


def change_times(path):
    """Times (seconds) at which FFmpeg's decoder changes what the stream shows."""
    return [t for t, _ in shown_times(path)]


def primed(path, size, work):
    """A copy of the stream that starts with an empty display set of its video size at time
    0. FFmpeg sizes its subtitle canvas from the first display set it decodes before the
    filter graph starts; without one it takes 720x576 and drops every rectangle below."""
    w, h = size
    pcs = struct.pack('>HHBHBBBB', w, h, 0x10, 0, 0x80, 0, 0, 0)
    head = b'PG' + struct.pack('>IIBH', 0, 0, 0x16, len(pcs)) + pcs + b'PG' + struct.pack('>IIBH', 0, 0, 0x80, 0)
    out = os.path.join(work, os.path.basename(path) + '.primed.sup')
    with open(out, 'wb') as f:
        f.write(head + open(path, 'rb').read())
    return out


def render(path, size, samples, t0, rate):
    """RGBA frames of the stream over a transparent canvas at the sample times. The canvas
    is an input of its own (FFmpeg only then feeds bitmap subtitles into a filter graph in
    step) that starts at t0 and runs at `rate` frames per second."""
    w, h = size
    frames = [round((t - t0) * rate) for t in samples]
    pick = '+'.join('eq(n,%d)' % k for k in frames)
    duration = frames[-1] / rate + 1
    graph = '[0:v][1:s]overlay=format=auto:eof_action=pass,format=rgba,select=\'%s\'' % pick
    raw = subprocess.run(['ffmpeg', '-v', 'error', '-f', 'lavfi', '-i',
                          'color=c=black@0.0:s=%dx%d:r=%s:d=%f,format=rgba' % (w, h, rate, duration),
                          '-itsoffset', '%f' % -t0, '-i', path, '-filter_complex', graph, '-fps_mode', 'passthrough',
                          '-f', 'rawvideo', '-pix_fmt', 'rgba', '-'], check=True, capture_output=True).stdout
    frame = w * h * 4
    return [raw[k * frame:(k + 1) * frame] for k in range(len(raw) // frame)]


def differences(a, b, tolerance):
    """Pixels whose alpha differs or whose colour differs by more than `tolerance` levels
    where it shows."""
    if a == b:
        return 0
    bad = 0
    for i in range(0, len(a), 4):
        if a[i:i + 4] == b[i:i + 4]:
            continue
        if a[i + 3] != b[i + 3]:
            bad += 1
        elif a[i + 3] and any(abs(a[i + c] - b[i + c]) > tolerance for c in range(3)):
            bad += 1
    return bad


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('cli')
    ap.add_argument('streams', nargs='+')
    ap.add_argument('--tolerance', type=int, default=3)
    ap.add_argument('--work', default=None)
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix='vantrel-compare-')
    failed = 0
    for src in args.streams:
        name = os.path.basename(src)
        out = os.path.join(work, name + '.export.sup')
        subprocess.run([args.cli, 'export', src, '--format', 'bd', '-o', out], check=True, capture_output=True)
        size = video_size(src)
        changes = sorted(set(change_times(src)) | set(change_times(out)))
        # Nothing shows before the first subtitle; start a second ahead of it.
        t0 = max(min(t for t, rects in shown_times(src) if rects) - 1.0, 0.0)
        changes = [t for t in changes if t >= t0]
        span = changes[-1] + 3.0 - t0
        rate = max(5, min(100, int(20000 / span)))
        # The middle of every interval between two changes that lasts two canvas frames.
        samples = []
        for k, t in enumerate(changes):
            end = changes[k + 1] if k + 1 < len(changes) else t + 2.0
            if end - t >= 2.0 / rate:
                samples.append(t0 + round(((t + end) / 2 - t0) * rate) / rate)
        a = render(primed(src, size, work), size, samples, t0, rate)
        b = render(primed(out, size, work), size, samples, t0, rate)
        bad = [(samples[k], d) for k in range(min(len(a), len(b))) if (d := differences(a[k], b[k], args.tolerance))]
        shown = sum(1 for f in a if any(f[3::4]))
        ok = not bad and len(a) == len(b) == len(samples) and video_size(out) == size
        failed += not ok
        print('%-28s %4dx%-4d %3d samples (%3d with a subtitle): %s' %
              (name, size[0], size[1], len(samples), shown,
               'same' if ok else 'DIFFERENT %s frames %d/%d' % (bad[:5], len(a), len(b))))
        sys.stdout.flush()
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
