#!/bin/sh
# Opens brevox's page in headless Chromium and checks what the browser made of it: the page of
# `brevox -DH`, and of a small data set with awkward names (Greek letters, quotes, <, &, a Latin-1
# letter) and every kind of graph, or else the one page named. A probe page loads the page in a
# frame, then counts its heat maps and graphs, checks that every graph is drawn at a size or stands
# as a note, that the page has no script and fetched nothing, and reads the names as the browser
# shows them; it also checks that the findings come first, with one dot plot per criterion, a point
# and letters for each work with cases, and that a work stands at the same place in every drawing
# of its criterion. The browser must report no script error. A screenshot of each page goes to the
# output folder: the pages of brevox -DH, of the awkward names and of 60 works under 10 criteria.
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

# What the probe reports of the findings of every page: they come first, with a dot plot per
# criterion, and every work keeps its place across the drawings of a criterion.
found="findings first
dot plots as works with cases, letters on every point
works in place"

# check <page> <screenshot> <expected report> <names the data table shows, one per line>
check() {
  page=$1
  names=
  [ -z "$4" ] || names=$(printf '%s\n' "$4" | sed 's/\\/\\\\/g; s/"/\\"/g; s/.*/"&",/')
  cat >"$scratch/probe.html" <<EOF
<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<iframe id="page" src="file://$page" style="width:1280px;height:1000px"></iframe><pre id="report"></pre>
<script>
const expectedNames = [$names];
document.getElementById("page").onload = function () {
  const page = this.contentDocument;
  // Folded tests are opened, so that their drawings are laid out too.
  for (const details of page.querySelectorAll("details")) details.open = true;
  const lines = ["charset " + page.characterSet,
                 "maps " + page.querySelectorAll("table.map").length];
  const first = page.querySelector("body > section");
  lines.push(first && first.id === "findings" ? "findings first" : "findings not first");
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
  const shown = Array.from(page.querySelectorAll("table.data td.name"), cell => cell.textContent);
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
  chrome --window-size=1280,2000 --screenshot="$2" "file://$page" >/dev/null 2>&1 ||
    complain "no screenshot of $page"
  [ "$(wc -c <"$2")" -gt 20000 ] || complain "screenshot $2 is nearly empty"
  echo "$page: $(printf '%s' "$report" | tr '\n' ';') screenshot $2"
}

if [ $# -ge 3 ]; then
  page=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
  # Any page: every graph drawn or a note, no script, nothing fetched.
  maps=$(grep -o '<table class="map' "$page" | wc -l)
  graphs=$(grep -o '<div class="graph">' "$page" | wc -l)
  check "$page" "$shots/page.png" "charset UTF-8
maps $maps
$found
graphs $graphs blank 0
scripts 0 fetched 0" ""
  [ "$errors" -eq 0 ] || exit 1
  exit 0
fi

# The built-in data: six criteria, seven variants each, and seven graphs over all criteria.
mkdir "$scratch/default"
(cd "$scratch/default" && "$brevox" -DH >/dev/null) || complain "brevox -DH failed"
check "$scratch/default/brevox_report.html" "$shots/brevox_DH.png" "charset UTF-8
maps 42
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
check "$scratch/awkward/brevox_report.html" "$shots/brevox_awkward.png" "charset UTF-8
maps 14
$found
graphs 24 blank 0
scripts 0 fetched 0
names as written" "$(printf '\341\274\270\316\273\316\271\316\254\317\202 '"'"'<b>&'"'"'\nIl\nOdyssey & co\nO<d\nTh\303\251ogonie\nTh\303\251o')"

# 60 works under 10 criteria (bench/large_data_set.py), Fisher's and the chi-square tests: five
# maps per criterion, thinned graphs, notes in place of the dense graphs over all criteria.
mkdir "$scratch/large"
python3 "$(dirname "$0")/../bench/large_data_set.py" >"$scratch/large.csv"
(cd "$scratch/large" && "$brevox" "$scratch/large.csv" -SFCH >/dev/null) ||
  complain "brevox -SFCH on 60 works failed"
check "$scratch/large/brevox_report.html" "$shots/brevox_large.png" "charset UTF-8
maps 50
$found
graphs 55 blank 0
scripts 0 fetched 0" ""

[ "$errors" -eq 0 ] || exit 1
echo "browser test passed"
