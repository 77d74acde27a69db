# Writes small DICOM files from plain sample arrays (used by make.sh): a preamble and
# "DICM" (unless told otherwise), the file meta group in explicit VR little endian, then the
# data set in the chosen syntax: implicit VR little endian, explicit VR little or big endian.
import struct

SYNTAX = {'implicit': '1.2.840.10008.1.2', 'explicit': '1.2.840.10008.1.2.1', 'big': '1.2.840.10008.1.2.2'}
LONG_VRS = ('OB', 'OW', 'SQ', 'UN', 'UT')


def pad(vr, value):
    if len(value) % 2:
        value += b'\0' if vr in ('UI', 'OB') else b' '
    return value


def element(group, elem, vr, value, mode):
    big = mode == 'big' and group != 2
    e = '>' if big else '<'
    value = pad(vr, value)
    head = struct.pack(e + 'HH', group, elem)
    if mode == 'implicit' and group != 2:
        return head + struct.pack(e + 'I', len(value)) + value
    if vr in LONG_VRS:
        return head + vr.encode() + b'\0\0' + struct.pack(e + 'I', len(value)) + value
    return head + vr.encode() + struct.pack(e + 'H', len(value)) + value


def us(v, mode):
    return struct.pack('>H' if mode == 'big' else '<H', v)


def write(path, rows, cols, samples, bits, pixels, mode='explicit', photometric=None, planar=0, frames=1,
          signed=False, extra=(), preamble=True, syntax=None, encapsulated=None, bits_stored=None):
    """pixels: a flat list of samples (frames x rows x cols x samples, interleaved unless planar),
    or None with encapsulated = a list of fragments (bytes) and syntax the UID."""
    photometric = photometric or ('MONOCHROME2' if samples == 1 else 'RGB')
    syntax = syntax or SYNTAX[mode]
    bits_stored = bits_stored or bits
    meta = b''.join([
        element(2, 1, 'OB', b'\0\1', mode),
        element(2, 2, 'UI', b'1.2.840.10008.5.1.4.1.1.7', mode),
        element(2, 3, 'UI', b'1.2.826.0.1.3680043.2.1143.7', mode),
        element(2, 0x10, 'UI', syntax.encode(), mode),
        element(2, 0x12, 'UI', b'1.2.826.0.1.3680043.2.1143.1', mode),
    ])
    meta = element(2, 0, 'UL', struct.pack('<I', len(meta)), mode) + meta
    ds = [
        element(8, 0x16, 'UI', b'1.2.840.10008.5.1.4.1.1.7', mode),
        element(8, 0x18, 'UI', b'1.2.826.0.1.3680043.2.1143.7', mode),
        element(8, 0x60, 'CS', b'OT', mode),
        element(0x10, 0x10, 'PN', b'Test^Fixture', mode),
        element(0x20, 0xD, 'UI', b'1.2.826.0.1.3680043.2.1143.8', mode),
        element(0x20, 0xE, 'UI', b'1.2.826.0.1.3680043.2.1143.9', mode),
        element(0x28, 2, 'US', us(samples, mode), mode),
        element(0x28, 4, 'CS', photometric.encode(), mode),
    ]
    if samples > 1:
        ds.append(element(0x28, 6, 'US', us(planar, mode), mode))
    if frames > 1:
        ds.append(element(0x28, 8, 'IS', str(frames).encode(), mode))
    ds += [
        element(0x28, 0x10, 'US', us(rows, mode), mode),
        element(0x28, 0x11, 'US', us(cols, mode), mode),
        element(0x28, 0x100, 'US', us(bits, mode), mode),
        element(0x28, 0x101, 'US', us(bits_stored, mode), mode),
        element(0x28, 0x102, 'US', us(bits_stored - 1, mode), mode),
        element(0x28, 0x103, 'US', us(1 if signed else 0, mode), mode),
    ]
    for g, el, vr, v in extra:
        # 'RAW': bytes written as they are (sequences of undefined length, say).
        ds.append(v if vr == 'RAW' else element(g, el, vr, v, mode))
    if encapsulated is not None:
        e = '<'
        data = struct.pack('<HH', 0xFFFE, 0xE000) + struct.pack('<I', 0)
        for frag in encapsulated:
            frag = frag + (b'\0' if len(frag) % 2 else b'')
            data += struct.pack('<HHI', 0xFFFE, 0xE000, len(frag)) + frag
        data += struct.pack('<HHI', 0xFFFE, 0xE0DD, 0)
        ds.append(struct.pack(e + 'HH', 0x7FE0, 0x10) + b'OB\0\0' + b'\xff\xff\xff\xff' + data)
    else:
        fmt = ('>' if mode == 'big' else '<') + ('h' if signed else 'H') if bits > 8 else 'B'
        raw = b''.join(struct.pack(fmt, v) for v in pixels) if bits > 8 else bytes(pixels)
        ds.append(element(0x7FE0, 0x10, 'OW' if bits > 8 else 'OB', raw, mode))
    with open(path, 'wb') as f:
        if preamble:
            f.write(b'\0' * 128 + b'DICM' + meta)
        f.write(b''.join(ds))


def fragments(path):
    """The fragments of the encapsulated pixel data of a file dcmtk wrote (explicit VR LE)."""
    data = open(path, 'rb').read()
    at = data.rindex(b'\xe0\x7f\x10\x00OB\0\0\xff\xff\xff\xff') + 12
    out = []
    while True:
        g, e, n = struct.unpack_from('<HHI', data, at)
        at += 8
        if (g, e) != (0xFFFE, 0xE000):
            break
        out.append(data[at:at + n])
        at += n
    return out[1:]  # without the offset table
