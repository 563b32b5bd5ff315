#include "report/style_sheet.h"

namespace brevox {

const char kPageStyle[] = R"(
:root{--ink:#1c1c1c;--muted:#5b5b5b;--hair:#cfcfc8;--paper:#fff;--accent:#1f4e79}
html{background:var(--paper)}
body{margin:0 auto;max-width:74rem;padding:1.2rem 2rem 4rem;color:var(--ink);
font:16px/1.5 Charter,"Bitstream Charter","Sitka Text",Cambria,"Iowan Old Style",
"Palatino Linotype",Palatino,Georgia,"Liberation Serif","Times New Roman",serif;
font-variant-numeric:lining-nums}
a{color:var(--accent);text-decoration:none}a:hover{text-decoration:underline}
h1{font-size:1.35rem;font-weight:normal;line-height:1.3;margin:.1rem 0 .4rem}
h1 b{font-weight:600}
h2{font-size:1.45rem;font-weight:normal;margin:3rem 0 .4rem;padding-top:.6rem;
border-top:1.5px solid var(--ink)}
#order h2{margin-top:.6rem}
h2 .no{color:var(--muted);margin-right:.4rem}
.short,.kicker,.note,figcaption,.facts dt,.legend,footer{font-size:.9rem}
.short{color:var(--muted);font-variant:small-caps;letter-spacing:.03em;margin-left:.5rem}
.kicker{font-variant:small-caps;letter-spacing:.1em;color:var(--muted);margin:0}
.lede{font-size:1.1rem;margin:.2rem 0 1.2rem;max-width:46rem}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:.15rem 1.2rem;margin:0 0 1.2rem;
max-width:60rem}
.facts dt{font-variant:small-caps;letter-spacing:.05em;color:var(--muted);padding-top:.1rem}
.facts dd{margin:0}
code{font-family:"DejaVu Sans Mono",Menlo,Consolas,monospace;font-size:.85em}
details.run{margin:2rem 0 .6rem;border-top:.75px solid var(--hair)}
details.run>summary{cursor:pointer;padding:.35rem 0;color:var(--accent)}
details.run .facts{margin-top:.6rem}
nav ol{display:flex;flex-wrap:wrap;gap:.2rem 1.4rem;list-style:none;padding:.5rem 0;margin:0;
border-top:.75px solid var(--hair);border-bottom:.75px solid var(--hair)}
.reading{margin:2.4rem 0 0;padding:.6rem 1rem;background:#f6f6f2}
.reading h3{font-size:1.05rem;font-weight:600;margin:0 0 .2rem}
.reading p{max-width:52rem;hyphens:auto;margin:.2rem 0}
.reading+section.criterion h2{margin-top:1.2rem}
table.overview td{padding:.15rem .5rem}
table.overview td i{font-style:normal;font-weight:600;letter-spacing:.06em;margin-left:.35rem;
display:inline-block;min-width:1.4rem;text-align:left}
table.overview thead th{white-space:normal;max-width:8rem;vertical-align:bottom;text-align:right}
table.overview th.flat,table.overview td.flat{color:#9a9a94}
.s0{background:#fbfaf3}.s1{background:#efeede}.s2{background:#dcdcc6}.s3{background:#c3c6a8}
.s4{background:#a6ad88}
ul.sentences{max-width:60rem;padding-left:1.1rem;margin:.8rem 0}
ul.sentences li{margin:.15rem 0}
.direction{margin:.1rem 0 .8rem;color:var(--muted)}
.scroll{overflow-x:auto;max-width:100%}
table.data{border-collapse:collapse;font-size:.85rem;border-top:1.5px solid var(--ink);
border-bottom:1.5px solid var(--ink);font-variant-numeric:tabular-nums lining-nums}
table.data th,table.data td{padding:.2rem .55rem;vertical-align:bottom;white-space:nowrap}
table.data thead th{border-bottom:.75px solid var(--ink);font-weight:normal;text-align:right;
padding-right:1rem}
table.data thead th.name{text-align:left}
table.data td{text-align:right;white-space:nowrap}
table.data td.name{text-align:left}
table.data td.share{color:var(--muted);padding-left:.2rem;padding-right:1rem}
table.data small{display:block;color:var(--muted);font-variant:small-caps}
figure{margin:1.4rem 0 2.2rem;break-inside:avoid}
figcaption{color:var(--muted);margin-bottom:.5rem;max-width:52rem}
figcaption b{color:var(--ink);font-weight:600}
.panels{display:flex;flex-wrap:wrap;gap:1.2rem 2.5rem;align-items:flex-start}
.graph{flex:1 1 22rem;min-width:0;max-width:100%}
.graph svg{max-width:100%;height:auto;display:block}
.note{color:var(--muted);font-style:italic;max-width:40rem}
.failed{color:#8b1a1a;font-style:normal}
table.map{color:var(--ink);border-collapse:collapse;font:var(--glyph)/1 "DejaVu Sans",Arial,sans-serif;
table-layout:fixed}
table.map td{width:var(--cell);height:var(--cell);min-width:var(--cell);padding:0;
text-align:center;vertical-align:middle;border:1px solid var(--paper)}
table.map th{font:.8rem/1.1 Charter,"Liberation Serif",Georgia,serif;font-weight:normal;
white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
table.map tbody th{text-align:right;padding-right:.4rem;max-width:11rem}
table.map thead th{vertical-align:bottom;padding:0 0 .3rem}
table.map thead th span{writing-mode:vertical-rl;transform:rotate(180deg);max-height:8rem;
overflow:hidden;text-overflow:ellipsis;display:inline-block}
table.map tr:hover th{color:var(--accent)}
table.map td:hover{outline:2px solid var(--ink);outline-offset:-1px}
table.map td.o,.marks .cell.o{outline:2px solid #d7301f;outline-offset:-2px}
.x{background:#e6e6e1}
.z{background:repeating-linear-gradient(135deg,#d4d4ce 0 1px,var(--paper) 1px 3.5px)}
.u{background:repeating-linear-gradient(45deg,#b9b9b2 0 1.5px,var(--paper) 1.5px 4px)}
.w{background:#e6e6e1}
.legend{display:flex;flex-wrap:wrap;gap:.8rem 3rem;align-items:flex-start;margin:.8rem 0 1rem}
.bar{position:relative;padding:2.3rem 0 1.4rem;font-family:"DejaVu Sans",Arial,sans-serif;
font-size:.7rem}
.bar .steps{display:flex}
.bar .steps span{width:2.2rem;height:1rem}
.bar .tick,.bar .threshold{position:absolute;transform:translateX(-50%);white-space:nowrap}
.bar .tick{bottom:0}
.bar .threshold{top:0;color:var(--ink);text-align:center;line-height:1.1}
.marks{list-style:none;margin:0;padding:0;columns:2 16rem;column-gap:2rem}
.marks li{margin:.1rem 0;break-inside:avoid}
.marks .cell{display:inline-block;width:1.1rem;height:1.1rem;line-height:1.1rem;text-align:center;
vertical-align:-.2rem;margin-right:.4rem;font:.7rem/1.1rem "DejaVu Sans",Arial,sans-serif}
footer{margin-top:4rem;padding-top:.6rem;border-top:.75px solid var(--hair);color:var(--muted)}
table.map.numbered td{width:3rem;min-width:3rem;max-width:3rem;padding:0;font-size:10px;overflow:hidden}
details.variant{margin:.2rem 0;border-top:.75px solid var(--hair)}
details.variant>summary{cursor:pointer;padding:.35rem 0;color:var(--accent)}
details.variant[open]>summary{color:var(--ink)}
@media screen{article.finding,section.criterion,#data{content-visibility:auto;
contain-intrinsic-size:auto 1500px}}
@media print{body{max-width:none;padding:0;font-size:11pt}html{background:#fff}
figure,table.data tr{break-inside:avoid}nav{display:none}
*{-webkit-print-color-adjust:exact;print-color-adjust:exact}
section.criterion{break-before:page}
details.variant:not([open]){display:none}}
)";

}  // namespace brevox
