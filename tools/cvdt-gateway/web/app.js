// The status page: fetches the JSON API and builds the tables with DOM nodes and textContent
// only, so no text from the database is ever read as markup. Refreshes every 5 seconds.
"use strict";

const WORDS = {
  en: { title: "Distribution status", search: "Equipment", dist: "Distribution", status: "Status",
        commanded: "Commanded distributions", automatic: "Automatic distributions",
        items: "Automatic items", workstations: "Workstations", history: "Workstation history",
        distCol: "Distribution", total: "Workstations", done: "Done", running: "Running",
        failed: "Failed", statuses: "Statuses", equip: "Equipment", update: "Update",
        detail: "Detail", when: "Reported", kind: "Kind", command: "Command / update",
        reports: "Reports", last: "Last report", none: "Nothing to show.",
        deleted: "Files removed", updated: "Updated" },
  ko: { title: "배포 현황", search: "장비", dist: "배포", status: "상태",
        commanded: "명령 배포", automatic: "자동 배포", items: "자동 배포 항목",
        workstations: "장비 목록", history: "장비 이력", distCol: "배포", total: "장비 수",
        done: "완료", running: "진행 중", failed: "실패", statuses: "상태별",
        equip: "장비", update: "업데이트", detail: "상세", when: "보고 시각", kind: "종류",
        command: "명령 / 업데이트", reports: "보고 수", last: "마지막 보고",
        none: "표시할 내용이 없습니다.", deleted: "파일 삭제됨", updated: "갱신" },
};

let selected = null;

function words() { return WORDS[document.getElementById("lang").value] || WORDS.en; }

function el(tag, text, cls) {
  const node = document.createElement(tag);
  if (text !== undefined && text !== null) node.textContent = String(text);
  if (cls) node.className = cls;
  return node;
}

function table(headers, rows) {
  if (rows.length === 0) return el("p", words().none, "muted");
  const t = el("table");
  const head = t.createTHead().insertRow();
  for (const h of headers) head.appendChild(el("th", h));
  const body = t.createTBody();
  for (const cells of rows) {
    const tr = body.insertRow();
    for (const cell of cells) {
      const td = tr.insertCell();
      if (cell instanceof Node) td.appendChild(cell);
      else td.textContent = cell === null || cell === undefined ? "" : String(cell);
    }
  }
  return t;
}

function filters() {
  const p = new URLSearchParams();
  p.set("lang", document.getElementById("lang").value);
  for (const name of ["search", "dist", "status"]) {
    const value = document.getElementById(name).value.trim();
    if (value) p.set(name === "search" ? "q" : name, value);
  }
  return p;
}

async function getJson(path, params) {
  const response = await fetch(path + "?" + params.toString());
  const body = await response.json();
  if (!response.ok) throw new Error(body.error || response.statusText);
  return body;
}

function bar(dist) {
  const b = el("div", null, "bar");
  for (const outcome of ["done", "running", "failed"]) {
    const part = el("span", null, outcome);
    part.style.width = (100 * dist[outcome] / Math.max(1, dist.workstations)) + "%";
    b.appendChild(part);
  }
  return b;
}

function statusList(statuses) {
  const list = el("div");
  for (const s of statuses) {
    const line = el("div", null, s.outcome + " statusline");
    line.appendChild(el("span", s.status, "status"));
    line.appendChild(document.createTextNode(" × " + s.count + " — " + s.text));
    list.appendChild(line);
  }
  return list;
}

function distributions(list) {
  const w = words();
  return table([w.distCol, w.total, w.done, w.running, w.failed, "", w.statuses],
    list.map(d => [d.dist_id, d.workstations, el("span", d.done, "done"),
                   el("span", d.running, "running"), el("span", d.failed, "failed"), bar(d),
                   statusList(d.statuses)]));
}

function equipLink(id) {
  const a = el("a", id, "equip");
  a.addEventListener("click", () => { selected = id; refresh(); });
  return a;
}

function statusCell(s) {
  const cell = el("span", null, s.outcome);
  cell.appendChild(el("span", s.status, "status"));
  cell.appendChild(document.createTextNode(" " + s.text));
  return cell;
}

// 14-digit local time texts as YYYY-MM-DD hh:mm:ss; anything else as it is.
function when(text) {
  if (typeof text !== "string" || !/^[0-9]{14}$/.test(text)) return text;
  return text.slice(0, 4) + "-" + text.slice(4, 6) + "-" + text.slice(6, 8) + " " +
         text.slice(8, 10) + ":" + text.slice(10, 12) + ":" + text.slice(12, 14);
}

function detail(row) {
  return [row.detail, row.err_detail].filter(x => x).join(" / ");
}

async function refresh() {
  const w = words();
  const p = filters();
  try {
    const summary = await getJson("/api/summary", p);
    document.getElementById("commanded").replaceChildren(distributions(summary.commanded));
    document.getElementById("automatic").replaceChildren(distributions(summary.automatic));
    const items = await getJson("/api/automatic", p);
    document.getElementById("items").replaceChildren(table(
      [w.equip, w.distCol, w.update, w.status, w.detail, w.when],
      items.slice(0, 25).map(i => [equipLink(i.equip_id), i.dist_id, i.update_id,
                                    statusCell(i), detail(i), when(i.reported_at)])));
    const stations = await getJson("/api/workstations", p);
    document.getElementById("workstations").replaceChildren(table(
      [w.equip, w.reports, w.last],
      stations.slice(0, 25).map(s => [equipLink(s.equip_id), s.reports, when(s.last_report)])));
    if (selected !== null) {
      const q = new URLSearchParams(p);
      q.set("id", selected);
      const h = await getJson("/api/workstation", q);
      const box = document.getElementById("history");
      box.className = "";
      const rows = h.history.map(r => [r.kind, r.dist_id, r.kind === "automatic" ? r.update_id : r.cmd_id,
                                       statusCell(r), detail(r), when(r.reported_at)]);
      for (const d of h.deletions) rows.push([w.deleted, d.dist_id, "", "", "", when(d.deleted_at)]);
      box.replaceChildren(el("h3", h.equip_id),
                          table([w.kind, w.distCol, w.command, w.status, w.detail, w.when], rows));
    }
    document.getElementById("updated").textContent = w.updated + " " + new Date().toLocaleTimeString();
  } catch (error) {
    document.getElementById("updated").textContent = String(error.message);
  }
}

function relabel() {
  const w = words();
  document.documentElement.lang = document.getElementById("lang").value;
  for (const [id, key] of [["title", "title"], ["label-search", "search"], ["label-dist", "dist"],
                           ["label-status", "status"], ["head-commanded", "commanded"],
                           ["head-automatic", "automatic"], ["head-items", "items"],
                           ["head-workstations", "workstations"], ["head-history", "history"]])
    document.getElementById(id).textContent = w[key];
}

function start() {
  const params = new URLSearchParams(location.search);
  for (const name of ["search", "dist", "status", "lang"]) {
    const value = params.get(name === "search" ? "q" : name);
    if (value !== null) document.getElementById(name).value = value;
  }
  if (params.get("equip")) selected = params.get("equip");
  for (const name of ["search", "dist", "status"])
    document.getElementById(name).addEventListener("input", refresh);
  document.getElementById("lang").addEventListener("change", () => { relabel(); refresh(); });
  relabel();
  refresh();
  setInterval(refresh, 5000);
}

document.addEventListener("DOMContentLoaded", start);
