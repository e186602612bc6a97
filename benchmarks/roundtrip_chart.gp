# Round-trip time by payload, one line per transport, from the chart data
# that ztn_bench writes with --chart-data (a header row of quoted labels, then
# one row per payload). scripts/bench.sh calls it as
#   gnuplot -e "datafile='t.tsv'; outfile='t.png'; machine='...'" roundtrip_chart.gp
if (!exists("datafile")) datafile = "roundtrip.tsv"
if (!exists("outfile")) outfile = "roundtrip.png"
if (!exists("machine")) machine = ""

set terminal png size 1100,680 font ",11"
set output outfile
set datafile separator "\t"
set datafile missing "NaN"
set title "Round trip between two processes: message there, release back (median)\n".machine
set xlabel "payload (bytes)"
set ylabel "microseconds (log scale)"
set logscale x 2
set logscale y 10
set xtics ("8" 8, "64" 64, "1024" 1024, "10240" 10240)
set grid ytics mytics xtics
set key outside right top
set key noenhanced
set title noenhanced
# Ten distinct colours; linkmod's three series (columns 2-4) are drawn solid
# and thick, the peers thinner and dashed.
set linetype 1 lc rgb "#d62728"
set linetype 2 lc rgb "#ff7f0e"
set linetype 3 lc rgb "#8c564b"
set linetype 4 lc rgb "#1f77b4"
set linetype 5 lc rgb "#17becf"
set linetype 6 lc rgb "#2ca02c"
set linetype 7 lc rgb "#9467bd"
set linetype 8 lc rgb "#e377c2"
set linetype 9 lc rgb "#7f7f7f"
set linetype 10 lc rgb "#000000"
columns = system("head -1 '".datafile."' | awk -F'\t' '{print NF}'")
plot for [i=2:columns] datafile using 1:i with linespoints linetype (i-1) \
     linewidth (i <= 4 ? 3 : 1.5) dashtype 1+(i > 4) pointtype (i-1) pointsize 1.3 \
     title columnheader(i)
