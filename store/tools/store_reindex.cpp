// store_reindex: rewrites the patient names, descriptions, body parts and institutions of a
// study store from its files, each read through its own character set. For stores indexed by
// earlier versions, which took every text as UTF-8. Run it while the program is closed.
#include <cstdio>
#include <filesystem>

#include "Kelvast.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: store_reindex <store folder>\n");
    return 2;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(std::filesystem::path(argv[1]) / "DB" / "patients", ec)) {
    std::fprintf(stderr, "store_reindex: %s is not a study store (no DB/patients)\n", argv[1]);
    return 1;
  }
  Kelvast store(argv[1]);
  Kelvast::ReindexResult result;
  bool ok = store.ReindexTexts(result, [](int done, int total) {
    std::fprintf(stderr, "\r%d/%d series", done, total);
    if (done == total) std::fprintf(stderr, "\n");
  });
  std::printf("%d series, %d rewritten, %d without a readable file\n", result.series, result.rewritten,
              result.unreadable);
  if (!ok) std::fprintf(stderr, "store_reindex: some rows could not be written (see above)\n");
  return ok ? 0 : 1;
}
