# Usage: python3 make_thumbnails.py runtime/colors/images
# Draws the preset thumbnails: each column is one voxel value across the preset's range, filled
# from the bottom up to the opacity curve in the interpolated colour, on a dark ground.
import struct, zlib, sys
presets = {
 "bone.png": [(145,(255,17,17),0.05),(264,(255,255,117),0.17),(336,(255,255,255),0.28),(1448,(255,245,245),0.62)],
 "skin.png": [(-322,(255,0,0),0),(-172,(255,173,91),0.265487),(-57,(255,255,255),1.0),(1878,(255,255,255),1.0)],
 "lung.png": [(-829,(255,0,0),0),(-636,(255,255,255),0.168142),(-450,(128,0,128),0)],
 "trans.png": [(-586,(255,255,255),0),(-500,(255,255,255),0.238938),(-400,(255,255,255),0),(150,(255,0,0),0),(278,(255,215,50),0.690265),(378,(255,255,255),0.982301),(1443,(255,255,255),0.99115)],
}
W, H = 38, 35
def interp(pts, v):
    if v <= pts[0][0]: return pts[0][1], pts[0][2]
    for a, b in zip(pts, pts[1:]):
        if v <= b[0]:
            t = (v - a[0]) / (b[0] - a[0])
            return tuple(a[1][i] + t * (b[1][i] - a[1][i]) for i in range(3)), a[2] + t * (b[2] - a[2])
    return pts[-1][1], pts[-1][2]
def png(path, rows):
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    def chunk(t, d): return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(data)
for name, pts in presets.items():
    lo, hi = pts[0][0] - 50, pts[-1][0] + 50
    rows = [[0] * (W * 3) for _ in range(H)]
    for x in range(W):
        v = lo + (hi - lo) * x / (W - 1)
        col, alpha = interp(pts, v)
        top = H - 1 - int(round(alpha * (H - 3)))
        for y in range(H):
            ground = (24, 28, 34)
            if y >= top:
                k = 0.35 + 0.65 * (H - y) / H
                c = [int(col[i] * k) for i in range(3)]
            else:
                c = ground
            if y == top: c = [min(255, int(col[i])) for i in range(3)]
            rows[y][x*3:x*3+3] = c
    png(sys.argv[1] + "/" + name, rows)
