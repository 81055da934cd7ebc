// `cvdt-gateway status --db PATH|postgresql://... [--equip ID] [--json] [--codepage N] [--watch
// [--interval N]]`.
#include "StatusCommand.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

#include "GatewayStore.h"
#include "NCliNumber.h"

namespace cvdt::gateway {
namespace {

using Kind = ResultTable::Kind;

// The latest report per equipment and distribution (whatever its command id), with the
// distribution's deletion mark; deletions with no commanded report at all follow. ?2 is 1 when
// only equipment ?1 is shown. Written for both engines.
constexpr const char* kCommandedSql =
    "WITH latest AS (SELECT h.equip_id, h.dist_id, h.cmd_id, h.proc_type, h.status,"
    "   h.status_detail, h.actor, h.reported_at FROM n_equip_history h"
    "   WHERE h.history_id IN (SELECT MAX(history_id) FROM n_equip_history"
    "     WHERE ?2 = 0 OR equip_id = ?1 GROUP BY equip_id, dist_id))"
    " SELECT l.equip_id, l.dist_id, l.cmd_id, l.proc_type, l.status, l.status_detail, l.actor,"
    " l.reported_at, d.deleted_at FROM latest l"
    " LEFT JOIN n_equip_deleted d ON d.equip_id = l.equip_id AND d.dist_id = l.dist_id"
    " UNION ALL SELECT d.equip_id, d.dist_id, NULL, NULL, NULL, NULL, NULL, NULL, d.deleted_at"
    " FROM n_equip_deleted d WHERE (?2 = 0 OR d.equip_id = ?1) AND NOT EXISTS"
    "   (SELECT 1 FROM latest l WHERE l.equip_id = d.equip_id AND l.dist_id = d.dist_id)"
    " ORDER BY 1, 2";

// The latest report per equipment and distribution, whatever its update id.
constexpr const char* kAutomaticSql =
    "SELECT s.equip_id, s.dist_id, s.update_id, s.status, s.status_detail, s.proc_time,"
    " s.dist_server_ip, s.err_detail, s.reported_at FROM a_equip_status s"
    " WHERE s.history_id = (SELECT MAX(x.history_id) FROM a_equip_status x"
    "   WHERE x.equip_id = s.equip_id AND x.dist_id = s.dist_id)"
    " AND (?2 = 0 OR s.equip_id = ?1)"
    " ORDER BY 1, 2";

std::vector<ResultTable::Column> commandedColumns() {
  return {{"equip_id", Kind::Text},      {"dist_id", Kind::Integer}, {"cmd_id", Kind::Integer},
          {"proc_type", Kind::Text},     {"status", Kind::Text},     {"status_detail", Kind::Text},
          {"actor", Kind::Integer},      {"reported_at", Kind::Text}, {"deleted_at", Kind::Text}};
}

std::vector<ResultTable::Column> automaticColumns() {
  return {{"equip_id", Kind::Text},   {"dist_id", Kind::Integer},     {"update_id", Kind::Integer},
          {"status", Kind::Text},     {"status_detail", Kind::Text},  {"proc_time", Kind::Integer},
          {"dist_server_ip", Kind::Text}, {"err_detail", Kind::Text}, {"reported_at", Kind::Text}};
}

volatile std::sig_atomic_t g_stop = 0;

void onStopSignal(int) { g_stop = 1; }

// The local time of day, for the heading of a refreshed table.
std::string clockText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

}  // namespace

void StatusCommand::addTo(cli::NCliApp& cli) {
  auto options = std::make_shared<Options>();
  CLI::App* status = cli.addCommand(
      cli.root(), "status", "the latest commanded and automatic status of every equipment",
      "cvdt-gateway status --db gateway.db --equip EQ0000000001\n"
      "cvdt-gateway status --db gateway.db --watch --interval 1\n"
      "cvdt-gateway status --db postgresql://gw@db.example/cvdt --json",
      [options] { return StatusCommand(*options).run(); });
  status->add_option("--db", options->strDb, "the gateway's SQLite file or postgresql:// address")
      ->required()
      ->type_name("FILE");
  status->add_option("--equip", options->strEquip, "only this equipment")
      ->type_name("ID")->each([o = options.get()](const std::string&) { o->bEquipGiven = true; });
  status->add_flag("--json", options->bJson, "print one JSON object {\"commanded\":[...],\"automatic\":[...]}");
  status->add_flag("--watch", options->bWatch,
                   "read again every interval until interrupted: a refreshed table on a terminal, "
                   "otherwise the status again whenever it changed");
  SiteText::addOption(*status, options->nCodePage,
                      "the site's code page: stored texts that are not UTF-8 are decoded with it");
  cli::NCliNumber::add(*status, "--interval", options->nIntervalSeconds, 1, 3600,
                       "seconds between two readings with --watch");
}

bool StatusCommand::query(SqlSession& session, const char* sql, ResultTable& table) const {
  std::vector<SqlRow> rows;
  if (!session.run(sql, {m_options.strEquip, int64_t{m_options.bEquipGiven ? 1 : 0}}, &rows))
    return false;
  table.fill(std::move(rows), SiteText(m_options.nCodePage));
  return true;
}

bool StatusCommand::read(GatewayStore& store, ResultTable& commanded, ResultTable& automatic) const {
  return query(store.session(), kCommandedSql, commanded) &&
         query(store.session(), kAutomaticSql, automatic);
}

std::string StatusCommand::render(const ResultTable& commanded, const ResultTable& automatic) const {
  if (m_options.bJson) {
    cli::NJson json = {{"commanded", commanded.json()}, {"automatic", automatic.json()}};
    return cli::NCliJson::line(json) + "\n";
  }
  return "Commanded distribution (" + std::to_string(commanded.size()) + ")\n" + commanded.text() +
         "\nAutomatic distribution (" + std::to_string(automatic.size()) + ")\n" + automatic.text();
}

int StatusCommand::run() {
  GatewayStore store;
  if (!store.connect(m_options.strDb, false)) {
    std::fprintf(stderr, "cvdt-gateway status: %s\n", store.error().c_str());
    return cli::kExitFailed;
  }
  if (m_options.bWatch) return watch(store);
  ResultTable commanded(commandedColumns()), automatic(automaticColumns());
  if (!read(store, commanded, automatic)) {
    std::fprintf(stderr, "cvdt-gateway status: %s\n", store.session().error().c_str());
    return cli::kExitFailed;
  }
  std::fputs(render(commanded, automatic).c_str(), stdout);
  return cli::kExitOk;
}

int StatusCommand::watch(GatewayStore& store) {
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
  bool bTerminal = isatty(STDOUT_FILENO) == 1;
  std::string last;
  while (g_stop == 0) {
    ResultTable commanded(commandedColumns()), automatic(automaticColumns());
    if (!read(store, commanded, automatic)) {
      std::fprintf(stderr, "cvdt-gateway status: %s\n", store.session().error().c_str());
      return cli::kExitFailed;
    }
    std::string shown = render(commanded, automatic);
    if (bTerminal) {
      // Home, clear the screen, then the reading with its time.
      std::printf("\033[H\033[2J%s  every %llds, %s  (Ctrl-C stops)\n\n%s", m_options.strDb.c_str(),
                  static_cast<long long>(m_options.nIntervalSeconds), clockText().c_str(), shown.c_str());
    } else if (shown != last) {
      std::fputs(shown.c_str(), stdout);
    }
    last = shown;
    std::fflush(stdout);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(m_options.nIntervalSeconds);
    while (g_stop == 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return cli::kExitOk;
}

}  // namespace cvdt::gateway
