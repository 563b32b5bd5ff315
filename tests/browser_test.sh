#!/bin/sh
# Opens brevox's page in headless Chromium and checks what the browser made of it: the page of
# `brevox -DEH`, of a small data set with awkward names (Greek letters, quotes, <, &, a Latin-1
# letter) and every kind of graph, of 30 works under 5 criteria and of 60 works under 10, or else
# the one page named. A probe page loads the page in a frame of 1366 x 768, then checks that the
# order of the works over all criteria comes first, its chart on the first screen, counts the heat
# maps (tables and images, each image decoded) and graphs, checks that every graph is drawn at a
# size or stands as a note, that the page has no script and fetched nothing, and reads the names as
# the browser shows them; it also checks the findings, with one dot plot per criterion, a point and
# letters for each work with cases, on an axis that spans the data, that each criterion's main map
# outlines as many pairs as its findings list, that every figure of a criterion says whether it is
# adjusted, and that a work stands at the same place in every drawing of its criterion. The
# browser must report no script error. Two screenshots of each page go to the output folder, its
# first screen at 1366 x 768 and the whole of it.
# Usage: browser_test.sh <brevox> <output folder> [page]
# Exits 77 (skipped) when neither chromium-headless-shell nor chromium is installed.
set -eu

brevox=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shots=$2
browser=
for candidate in chromium-headless-shell chromium; do
  if command -v "$candidate" >/dev/null 2>&1; then
    browser=$(command -v "$candidate")
    break
  fi
done
if [ -z "$browser" ]; then
  echo "browser test skipped: no chromium-headless-shell or chromium (make test-browser installs it)"
  exit 77
fi
mkdir -p "$shots"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
errors=0

complain() {
  echo "browser: $*" >&2
  errors=$((errors + 1))
}

chrome() {
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --allow-file-access-from-files \
    --enable-logging=stderr --v=0 "$@"
}

# What the probe reports of every page: the order first, its chart on the first screen; a dot plot
# per criterion on an axis over its data; the main maps outline what the findings list; every
# figure says whether it is adjusted; every work keeps its place across the drawings of a
# criterion.
found="order first, on the first screen
dot plots as works with cases, letters on every point
dot plot axes span their data
main maps outline the pairs the findings list
every figure says adjusted or unadjusted
works in place"

# check <page> <screenshots' name> <expected report> <names the data table shows, one per line>
#   [<height of the whole page's screenshot>]
check() {
  page=$1
  names=
  [ -z "$4" ] || names=$(printf '%s\n' "$4" | sed 's/\\/\\\\/g; s/"/\\"/g; s/.*/"&",/')
  cat >"$scratch/probe.html" <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<iframe id="page" src="file://$page" style="width:1366px;height:768px;border:0"></iframe><pre id="report"></pre>
<script>
const expectedNames = [$names];
document.getElementById("page").onload = function () {
  const page = this.contentDocument;
  // The answer on the first screen, before anything folded is opened: the order's chart.
  const first = page.querySelector("body > section");
  const chart = first ? first.querySelector("svg.dotplot.order") : null;
  const firstLine = !first || first.id !== "order" ? "order not first"
    : !chart ? "order first, without its chart"
    : chart.getBoundingClientRect().top + 60 > 768 ? "order first, below the first screen"
    : "order first, on the first screen";
  // Folded tests are opened, so that their drawings are laid out too.
  for (const details of page.querySelectorAll("details")) details.open = true;
  const images = Array.from(page.querySelectorAll("img.mapimage"));
  const undecoded = images.filter(image => !image.complete || image.naturalWidth === 0).length;
  const lines = ["charset " + page.characterSet,
                 "maps " + page.querySelectorAll("table.map").length + " images " +
                 images.length + (undecoded ? " undecoded " + undecoded : ""), firstLine];
  // One dot plot per criterion, a point for each work with cases (as the data table counts them)
  // and letters on every point.
  const withCases = [];
  for (const row of page.querySelectorAll("#data tbody tr")) {
    const counts = Array.from(row.cells).filter(cell => /^[0-9]+\/[0-9]+$/.test(cell.textContent));
    counts.forEach((cell, k) => {
      withCases[k] = (withCases[k] || 0) + (cell.textContent.split("/")[1] !== "0" ? 1 : 0);
    });
  }
  const plotProblems = [];
  const findings = page.querySelectorAll("#findings article.finding");
  if (findings.length !== withCases.length) plotProblems.push(findings.length + " criteria");
  findings.forEach((finding, k) => {
    const plots = finding.querySelectorAll("svg.dotplot");
    const points = finding.querySelectorAll("svg.dotplot circle.pt").length;
    const lettered = Array.from(finding.querySelectorAll("svg.dotplot g.work"))
      .filter(work => (work.querySelector("text.letters") || {}).textContent).length;
    if (plots.length !== (withCases[k] > 0 ? 1 : 0) || points !== withCases[k] ||
        lettered !== points) {
      plotProblems.push(finding.id + ": " + plots.length + " plots, " + points + " points, " +
                        lettered + " lettered, " + withCases[k] + " works with cases");
    }
  });
  lines.push(plotProblems.length === 0 ? "dot plots as works with cases, letters on every point"
                                       : "dot plots differ: " + plotProblems.join("; "));
  // An axis spans at most three times its data's range, unless it starts at 0 because the data
  // begin within a third of their range above it. Values are read back from the drawing: the
  // ticks' places and labels, the intervals' ends.
  const wideAxes = [];
  for (const plot of page.querySelectorAll("#findings svg.dotplot")) {
    const grid = Array.from(plot.querySelectorAll("line.grid"), line => Number(line.getAttribute("x1")));
    const ticks = Array.from(plot.querySelectorAll("text.tick"), text => Number(text.textContent))
      .filter(value => !Number.isNaN(value));
    const ends = Array.from(plot.querySelectorAll("line.ci"),
                            line => [Number(line.getAttribute("x1")), Number(line.getAttribute("x2"))]).flat();
    const valueAt = x => ticks[0] + (x - grid[0]) / (grid[grid.length - 1] - grid[0]) *
                                    (ticks[ticks.length - 1] - ticks[0]);
    const low = valueAt(Math.min(...ends)), high = valueAt(Math.max(...ends));
    const span = ticks[ticks.length - 1] - ticks[0];
    const fromZero = ticks[0] === 0 && low <= (high - low) / 3 + 1e-3;
    if (ticks.length < 3 || ticks.length > 6 || (span > 3 * (high - low) + 1e-3 && !fromZero)) {
      wideAxes.push(plot.closest("article").id + " " + ticks.join(" "));
    }
  }
  lines.push(wideAxes.length === 0 ? "dot plot axes span their data"
                                   : "dot plot axes too wide: " + wideAxes.join("; "));
  // Each criterion's main map outlines the pairs that its findings list as still differing.
  const marks = [];
  page.querySelectorAll("section.criterion").forEach((section, k) => {
    const map = section.querySelector("figure.test.main table.map");
    const finding = findings[k];
    if (!map || !finding) return;
    const unlisted = finding.querySelector(".unlisted");
    const listed = finding.querySelectorAll("table.pairs tbody tr").length +
                   (unlisted ? Number(unlisted.textContent.replace(/,/g, "")) : 0);
    const outlined = map.querySelectorAll("td.o").length;
    if (outlined !== listed) marks.push(section.id + ": " + outlined + " outlined, " + listed + " listed");
  });
  lines.push(marks.length === 0 ? "main maps outline the pairs the findings list"
                                : "main maps differ from the findings: " + marks.join("; "));
  const unsaid = Array.from(page.querySelectorAll("section.criterion figcaption, section.criterion summary"))
    .filter(caption => !/\b(adjusted|unadjusted)\b/.test(caption.textContent));
  lines.push(unsaid.length === 0 ? "every figure says adjusted or unadjusted"
                                 : "not said whether adjusted: " + unsaid.map(c => c.textContent.slice(0, 60)).join("; "));
  // A work stands at the same place in every drawing of its criterion.
  const moved = [];
  for (const section of page.querySelectorAll("section.criterion")) {
    let places = null;
    for (const svg of section.querySelectorAll("div.graph svg")) {
      const frame = svg.getBoundingClientRect();
      const here = {};
      for (const ellipse of svg.querySelectorAll("ellipse")) {
        const box = ellipse.getBoundingClientRect();
        const name = ellipse.nextElementSibling ? ellipse.nextElementSibling.textContent : "";
        here[name] = [box.x + box.width / 2 - frame.x, box.y + box.height / 2 - frame.y];
      }
      if (places === null) places = here;
      for (const name of Object.keys(here)) {
        const there = places[name];
        if (!there || Math.abs(there[0] - here[name][0]) > 0.5 ||
            Math.abs(there[1] - here[name][1]) > 0.5) {
          moved.push(section.id + " " + name);
        }
      }
      if (Object.keys(here).length !== Object.keys(places).length) moved.push(section.id);
    }
  }
  lines.push(moved.length === 0 ? "works in place" : "works moved: " + moved.join(", "));
  let drawn = 0, noted = 0, blank = 0;
  const graphs = page.querySelectorAll("div.graph");
  for (const graph of graphs) {
    const svg = graph.querySelector("svg");
    const box = svg ? svg.getBoundingClientRect() : null;
    if (box && box.width > 20 && box.height > 20) drawn++;
    else if (!svg && graph.querySelector("p.note")) noted++;
    else blank++;
  }
  lines.push("graphs " + graphs.length + " blank " + blank);
  lines.push("scripts " + page.scripts.length + " fetched " +
             this.contentWindow.performance.getEntriesByType("resource").length);
  const shown = Array.from(page.querySelectorAll("#data table.data td.name"), cell => cell.textContent);
  if (expectedNames.length > 0) {
    lines.push(JSON.stringify(shown) === JSON.stringify(expectedNames)
               ? "names as written" : "names differ: " + JSON.stringify(shown));
  }
  document.getElementById("report").textContent = lines.join("\n");
};
</script></body></html>
EOF
  chrome --virtual-time-budget=60000 --dump-dom "file://$scratch/probe.html" \
    >"$scratch/dom" 2>"$scratch/log" || complain "$browser failed on $page"
  report=$(sed -n '/<pre id="report">/,/<\/pre>/p' "$scratch/dom" | sed 's/<[^>]*>//g')
  [ "$report" = "$3" ] || complain "$page reads
$report
instead of
$3"
  if grep -Ei 'uncaught|console.*error' "$scratch/log" >&2; then
    complain "script errors on $page"
  fi
  chrome --window-size=1366,768 --screenshot="$2.png" "file://$page" >/dev/null 2>&1 ||
    complain "no screenshot of $page"
  chrome --window-size=1366,${5:-8000} --screenshot="$2_whole.png" "file://$page" >/dev/null 2>&1 ||
    complain "no screenshot of the whole of $page"
  for shot in "$2.png" "$2_whole.png"; do
    [ "$(wc -c <"$shot")" -gt 20000 ] || complain "screenshot $shot is nearly empty"
  done
  echo "$page: $(printf '%s' "$report" | tr '\n' ';') screenshots $2.png, $2_whole.png"
}

if [ $# -ge 3 ]; then
  page=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
  # Any page: every graph drawn or a note, no script, nothing fetched.
  maps=$(grep -o '<table class="map' "$page" | wc -l)
  images=$(grep -o '<img class="mapimage"' "$page" | wc -l)
  graphs=$(grep -o '<div class="graph">' "$page" | wc -l)
  check "$page" "$shots/page" "charset UTF-8
maps $maps images $images
$found
graphs $graphs blank 0
scripts 0 fetched 0" ""
  [ "$errors" -eq 0 ] || exit 1
  exit 0
fi

# The built-in data with the tables of option E: six criteria, seven variants each, the order's
# map, and seven graphs over all criteria.
mkdir "$scratch/default"
(cd "$scratch/default" && "$brevox" -DEH >/dev/null) || complain "brevox -DEH failed"
check "$scratch/default/brevox_report.html" "$shots/brevox_DEH" "charset UTF-8
maps 43 images 0
$found
graphs 49 blank 0
scripts 0 fetched 0" ""

# Awkward names, with dotted and merged graphs: two criteria, eight graphs each and over all.
mkdir "$scratch/awkward"
printf 'Threshold:,0.05,\316\224\316\257\316\263,Digamma <i>&</i>,k2,Crit\350re '"'"'two'"'"',\r\n' \
  >"$scratch/awkward.csv"
printf ',,,1,,-1,\r\nIl,\341\274\270\316\273\316\271\316\254\317\202 '"'"'<b>&'"'"',312,1810,10,20,\r\n' \
  >>"$scratch/awkward.csv"
printf 'O<d,Odyssey & co,303,1694,2,20,\r\nTh\351o,Th\351ogonie,30,89,9,12,\r\n' \
  >>"$scratch/awkward.csv"
(cd "$scratch/awkward" && "$brevox" "$scratch/awkward.csv" -SNMbfH >/dev/null) ||
  complain "brevox -SNMbfH on awkward names failed"
check "$scratch/awkward/brevox_report.html" "$shots/brevox_awkward" "charset UTF-8
maps 15 images 0
$found
graphs 24 blank 0
scripts 0 fetched 0
names as written" "$(printf '\341\274\270\316\273\316\271\316\254\317\202 '"'"'<b>&'"'"'\nIl\nOdyssey & co\nO<d\nTh\303\251ogonie\nTh\303\251o')" 4000

# 30 works under 5 criteria (bench/large_data_set.py), every test: maps as tables, their pairs
# named on hovering.
mkdir "$scratch/middle"
python3 "$(dirname "$0")/../bench/large_data_set.py" --works 30 --criteria 5 >"$scratch/middle.csv"
(cd "$scratch/middle" && "$brevox" "$scratch/middle.csv" -SH >/dev/null) ||
  complain "brevox -SH on 30 works failed"
check "$scratch/middle/brevox_report.html" "$shots/brevox_middle" "charset UTF-8
maps 36 images 0
$found
graphs 42 blank 0
scripts 0 fetched 0" "" 16000

# 60 works under 10 criteria, Fisher's and the chi-square tests: five maps per criterion, each an
# image, the main test's graph alone drawn, notes in place of the dense graphs over all criteria.
mkdir "$scratch/large"
python3 "$(dirname "$0")/../bench/large_data_set.py" >"$scratch/large.csv"
(cd "$scratch/large" && "$brevox" "$scratch/large.csv" -SFCH >/dev/null) ||
  complain "brevox -SFCH on 60 works failed"
check "$scratch/large/brevox_report.html" "$shots/brevox_large" "charset UTF-8
maps 0 images 51
$found
graphs 55 blank 0
scripts 0 fetched 0" "" 16000

[ "$errors" -eq 0 ] || exit 1
echo "browser test passed"
