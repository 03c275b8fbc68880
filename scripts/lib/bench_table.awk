# The table of bench/results.md, from the machine-readable lines that
# qm_bench and scripts/bench write ("result row=... n=... tool_us=...
# bare_us=..." and "part row=... n=... name=... us=..."):
#   awk -v first=N0 -v last=N1 -f scripts/lib/bench_table.awk RAW
# first and last are the smallest and the largest service count.
function field(name,   i) { for (i = 2; i <= NF; i++) if (index($i, name "=") == 1) return substr($i, length(name) + 2) }
function line(what, n, tool, bare, unit, limit,   ratio) {
  ratio = tool / bare
  sub(/_win32$/, ", win32", what)
  printf "| %s | %s | %s | %s | %.2f× | ≤ %s× | %s |\n", what, n, tool unit, bare unit, ratio, limit,
         ratio <= limit ? "met" : "**missed**"
}
$1 == "result" { tool[field("row"), field("n")] = field("tool_us"); bare[field("row"), field("n")] = field("bare_us"); ns[field("n")] = 1 }
$1 == "part" { part[field("row"), field("n"), field("name")] = field("us"); names[field("row"), field("name")] = 1; pn[field("n")] = 1 }
END {
  print "| Measure | N | Quilmarsk | Baseline | Ratio | Target | |"
  print "| --- | ---: | ---: | ---: | ---: | ---: | --- |"
  split("refresh script startup refresh_win32 startup_win32 overview", rows, " ")
  split("1.5 1.5 1.3 1.5 1.3 1.5", limits, " ")
  for (r = 1; r <= 6; r++)
    for (n = 0; n <= last; n++)
      if ((rows[r], n) in tool)
        line(rows[r], n, sprintf("%.1f", tool[rows[r], n] / 1000), sprintf("%.1f", bare[rows[r], n] / 1000), " ms", limits[r])
  # What the overview reads once its window is up, for information.
  for (n = 0; n <= last; n++)
    if (("overview_details", n) in tool)
      printf "| overview, then each instance's account, version and folder | %d | %.1f ms | %.1f ms | %.2f× | | |\n", n,
             tool["overview_details", n] / 1000, bare["overview_details", n] / 1000,
             tool["overview_details", n] / bare["overview_details", n]
  # The open overview's periodic reading against one enumeration with
  # process information: it may cost that one enumeration and little more.
  for (n = 0; n <= last; n++)
    if (("overview_reread", n) in tool)
      line("overview, states read again, against one enumeration", n, sprintf("%.1f", tool["overview_reread", n] / 1000),
           sprintf("%.1f", bare["overview_reread", n] / 1000), " ms", 1.15)
  # The update's plan for 50 instances of 500 files against the
  # overview's details for the same instances.
  for (n = 0; n <= last; n++)
    if (("plan", n) in tool)
      line("plan, 50 instances of 500 files, against the overview's details", n,
           sprintf("%.1f", tool["plan", n] / 1000), sprintf("%.1f", bare["plan", n] / 1000), " ms", 2)
  # The refresh after the first against the platform limit: one call
  # with a buffer already big enough (targets from N = 1,000 on).
  for (n = 0; n <= last; n++)
    if (("refresh_limit", n) in tool) {
      t = tool["refresh_limit", n]; b = bare["refresh_limit", n]
      if (n >= 1000) line("refresh, against one sufficient call", n, sprintf("%.1f", t / 1000), sprintf("%.1f", b / 1000), " ms", 1.15)
      else printf "| refresh, against one sufficient call | %d | %.1f ms | %.1f ms | %.2f× | | |\n", n, t / 1000, b / 1000, t / b
    }
  # Start-up against what any program pays that shows this dialog and
  # lists the services: the dialog alone plus one sufficient call.
  for (n = 0; n <= last; n++)
    if (("startup", n, "minimal_enumerating_once") in part) {
      floor = part["startup", n, "minimal_dialog"] + part["startup", n, "minimal_enumerating_once"] - part["startup", n, "minimal"]
      line("startup, against dialog alone + one sufficient call", n, sprintf("%.1f", tool["startup", n] / 1000), sprintf("%.1f", floor / 1000), " ms", 1.3)
    }
  # What any program pays that shows this dialog and lists the services:
  # the dialog alone plus the share of the bare enumeration.
  for (n = 0; n <= last; n++)
    if (("startup", n, "minimal_dialog") in part) {
      floor = part["startup", n, "minimal_dialog"] + part["startup", n, "minimal_enumerating"] - part["startup", n, "minimal"]
      printf "| startup, against dialog alone + enumeration | %d | %.1f ms | %.1f ms | %.2f× | | |\n", n,
             tool["startup", n] / 1000, floor / 1000, tool["startup", n] / floor
    }
  for (r = 1; r <= 2; r++) {
    a = tool[rows[r], first] / first; b = tool[rows[r], last] / last
    line(rows[r] " per service, N = " last " against N = " first, "", sprintf("%.1f", b), sprintf("%.1f", a), " µs", 2)
  }
  split("win64 win32", arch, " ")
  for (a = 1; a <= 2; a++) {
    t = tool["size_" arch[a], 0]; m = bare["size_" arch[a], 0]
    printf "| size, %s | | %d KiB | %d KiB | %.2f× | | |\n", arch[a], t / 1024, m / 1024, t / m
  }
  print ""
  print "Where the time of the tool's side goes (medians, ms):"
  print ""
  header = "| Part |"; rule = "| --- |"
  for (n = 0; n <= last; n++) if (n in pn) { header = header " N = " n " |"; rule = rule " ---: |" }
  print header; print rule
  parts = split("refresh:enumerate_names refresh:count_and_propose refresh:fill_list refresh:fill_list_redraw_on " \
                "script:read_folders script:script_text script:write_file " \
                "overview:enumerate_statuses overview:read_accounts overview:read_versions overview:read_folders " \
                "overview:fill_list_view startup:minimal " \
                "startup:minimal_enumerating startup:minimal_enumerating_once startup:minimal_dialog startup:quilmarsk", order, " ")
  for (i = 1; i <= parts; i++) {
    split(order[i], rn, ":")
    if (!((rn[1], rn[2]) in names)) continue
    row = "| " rn[1] ": " rn[2] " |"
    for (n = 0; n <= last; n++) if (n in pn) row = row sprintf(" %.2f |", part[rn[1], n, rn[2]] / 1000)
    print row
  }
}
