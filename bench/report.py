#!/usr/bin/env python3
"""Writes docs/performance.md and its plot from one run of the benchmarks.

    report.py RESULTS_DIR DOCS_DIR

RESULTS_DIR holds each benchmark program's JSON output (NAME.json) and
program.json, the whole-program timings scripts/bench.sh takes. Every figure
is set beside its peer from the same run, as a ratio; where there is no
other implementation to compare with, the peer is the budget the figure has
to meet (a 60 Hz frame, the recording's two-core limit), and the table says so.
"""
import json
import math
import os
import platform
import subprocess
import sys


def load(results, name):
    path = os.path.join(results, name + ".json")
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    return {b["name"]: b for b in data.get("benchmarks", []) if "error_message" not in b}


def ms(bench, key="real_time"):
    """A benchmark's time in milliseconds, whatever unit it reported in."""
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[bench.get("time_unit", "ns")]
    return bench[key] * scale


def geomean(values):
    values = [v for v in values if v > 0]
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float("nan")


def fmt(value, unit):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "n/a"
    if unit == "ms":
        return f"{value:.3g} ms" if value < 1 else f"{value:.1f} ms"
    if unit == "us":
        return f"{value * 1e3:.3g} µs"
    if unit == "fps":
        return f"{value:.1f} fps"
    if unit == "KB":
        return f"{value / 1024:.0f} KB"
    return f"{value:.3g} {unit}"


def machine():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            memory = f", {kb / 1024 / 1024:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    mesa = subprocess.run(["dpkg-query", "-W", "-f=${Version}", "libgl1-mesa-dri"],
                          capture_output=True, text=True).stdout.strip() or "unknown"
    release = platform.freedesktop_os_release().get("PRETTY_NAME", "Linux") \
        if hasattr(platform, "freedesktop_os_release") else "Linux"
    return (f"{model}, {os.cpu_count()} cores{memory}; {release}; no GPU: OpenGL from Mesa's "
            f"llvmpipe software rasteriser (Mesa {mesa})")


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: report.py RESULTS_DIR DOCS_DIR")
    results, docs = sys.argv[1], sys.argv[2]
    dataset, image, mesh, font = (load(results, n) for n in ("dataset_bench", "image_bench", "mesh_bench", "font_bench"))
    frame, recording = load(results, "frame_bench"), load(results, "recording_bench")
    with open(os.path.join(results, "program.json")) as f:
        program = json.load(f)

    rows = []  # figure, ours, peer name, peer figure, ratio (ours / peer, time: below 1 is faster)

    def pair(figure, ours, peer_name, peer, unit, ratio_note=""):
        ratio = ours / peer if ours and peer else float("nan")
        rows.append((figure, fmt(ours, unit), peer_name, fmt(peer, unit), f"{ratio:.2f}{ratio_note}"))

    names = sorted({n.split("/")[-1] for n in dataset if n.startswith("Evaluate/ours/")})
    for kind in ("Evaluate", "Compile"):
        ours = [ms(dataset[f"{kind}/ours/{n}"]) for n in names if f"{kind}/ours/{n}" in dataset]
        peer = [ms(dataset[f"{kind}/muparser/{n}"]) for n in names if f"{kind}/muparser/{n}" in dataset]
        what = "evaluation" if kind == "Evaluate" else "compilation"
        pair(f"expression {what}, geometric mean of {len(ours)}", geomean(ours), "muparser", geomean(peer), "us")

    for arg, sampling in (("2", "4:2:0"), ("0", "4:4:4")):
        ours = image.get(f"BM_JpegOurs/{arg}")
        for peer_name, key in (("libjpeg-turbo", "BM_JpegTurbo"), ("stb_image", "BM_JpegStb")):
            peer = image.get(f"{key}/{arg}")
            if ours and peer:
                pair(f"JPEG decoding, {sampling}", ms(ours), peer_name, ms(peer), "ms")
    for op in ("Read", "Write"):
        ours, peer = image.get(f"BM_Tga{op}Ours"), image.get(f"BM_Tga{op}Stb")
        if ours and peer:
            pair(f"TGA {op.lower()}", ms(ours), "stb_image" if op == "Read" else "stb_image_write", ms(peer), "ms")

    fast, default = recording.get("BM_WritePNG/0/iterations:3/real_time"), recording.get(
        "BM_WritePNG/1/iterations:3/real_time")
    if fast and default:
        pair("PNG frame writing 1280 x 720, CPU per frame (fast)", fast["cpu_ms_per_frame"], "libpng default",
             default["cpu_ms_per_frame"], "ms")
        pair("PNG frame size (fast)", fast["bytes"], "libpng default", default["bytes"], "KB")

    sub, brute = mesh.get("BM_SubmersibleRemoval"), mesh.get("BM_SubmersibleRemovalBruteForce")
    if sub and brute:
        pair("mesh: interior polygon removal, submersible", ms(sub), "every pair tested", ms(brute), "ms")
    for name, label in (("BM_SubmersiblePipeline", "mesh: submersible pipeline"), ("BM_BuoyPipeline",
                                                                                   "mesh: buoy pipeline"),
                        ("BM_Weld100k", "mesh: weld 100k vertices")):
        if name in mesh:
            rows.append((label, fmt(ms(mesh[name]), "ms"), "", "", ""))

    for arg, face in (("0", "cmunrm"), ("1", "cmunsl")):
        build, read = font.get(f"BM_BuildHudFont/{arg}"), font.get(f"BM_ReadHudFontPages/{arg}")
        if build and read:
            pair(f"font {face}: load from its page cache", ms(read), "building it", ms(build), "ms")

    cold = frame.get("BM_StartUpToFirstFrame/1/iterations:5")
    warm = frame.get("BM_StartUpToFirstFrame/0/iterations:5")
    if cold and warm:
        pair("start-up to the first frame (font caches present)", ms(warm), "without them", ms(cold), "ms")

    points = []  # pixels, view, median ms
    sizes = {"0": (720, 480), "1": (1280, 720), "2": (1920, 1080)}
    for view_arg, view in (("0", "above"), ("1", "below")):
        for size_arg, (w, h) in sizes.items():
            b = frame.get(f"BM_Frame/{view_arg}/{size_arg}/min_time:3.000/manual_time")
            if not b:
                continue
            median = b["median_ms"]
            points.append((w * h, view, median))
            pair(f"frame from {view}, {w} x {h} (median)", median, "60 Hz budget", 1000 / 60, "ms")

    if "screenshot_ms" in program:
        pair("4096 x 3072 screenshot, whole program (TGA)", program["screenshot_ms"], "2 s goal", 2000.0, "ms")

    rec = [b for n, b in recording.items() if n.startswith("BM_Recording/") and "ratio" in b]
    render = recording.get("BM_Render/iterations:3/real_time")
    if render:
        rows.append(("rendering alone, 1280 x 720, 4 samples", fmt(render["fps"], "fps"), "", "",
                     f"CPU {render['cpu_ms_per_frame']:.0f} ms/frame"))
    # What two cores allow when every frame is rendered and written: their
    # CPU time shared out, whatever the overlap.
    cores = os.cpu_count() or 1
    limit = 1000 * cores / (render["cpu_ms_per_frame"] + fast["cpu_ms_per_frame"]) if render and fast else None
    for b in rec:
        pair(f"recording 1280 x 720, {int(b['workers'])} worker(s)", b["fps"], f"the {cores}-core limit", limit,
             "fps")
    video = recording.get("BM_RecordingVideo/iterations:2/real_time")
    if video and render:
        pair("recording into H.264 (--video)", video["fps"], "rendering alone", render["fps"], "fps")

    os.makedirs(docs, exist_ok=True)
    plot = os.path.join(docs, "performance-frames.png")
    data = os.path.join(results, "frames.dat")
    with open(data, "w") as f:
        for view in ("above", "below"):
            for pixels, v, median in sorted(p for p in points if p[1] == view):
                f.write(f"{pixels / 1e6:.4f} {median:.3f}\n")
            f.write("\n\n")
    script = f"""set terminal pngcairo size 800,480 font ",11"
set output "{plot}"
set title "Frame time against frame size (median, headless, software rasteriser)"
set xlabel "megapixels per frame"
set ylabel "milliseconds per frame"
set key top left
set grid
set xrange [0:*]
set yrange [0:*]
set arrow from graph 0, first {1000 / 60:.2f} to graph 1, first {1000 / 60:.2f} nohead dashtype 2 lc rgb "gray40"
set label "60 Hz" at graph 0.9, first {1000 / 60 + 2:.2f} tc rgb "gray40"
plot "{data}" index 0 using 1:2 with linespoints lw 2 pt 7 title "from above", \\
     "{data}" index 1 using 1:2 with linespoints lw 2 pt 5 title "from below"
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)

    with open(os.path.join(docs, "performance.md"), "w") as f:
        f.write("# Performance\n\n")
        f.write("Written by `scripts/bench.sh` from one run of the benchmarks in `bench/` and of the program "
                "itself; every figure beside its peer from the same run. Ratio: ours / peer (for times, "
                "below 1 is faster than the peer; for frame rates, above 1 is faster).\n\n")
        f.write(f"Machine: {machine()}.\n\n")
        f.write("![Frame time against pixel count](performance-frames.png)\n\n")
        f.write("| Figure | Ours | Peer | Peer's figure | Ratio |\n|---|---|---|---|---|\n")
        for row in rows:
            f.write("| " + " | ".join(row) + " |\n")
    print(f"wrote {os.path.join(docs, 'performance.md')} and {plot}")


if __name__ == "__main__":
    main()
