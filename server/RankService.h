#pragma once
// The ranking service: the key request, the score submission and the ranking page (Qt-free).
// The HTTP layer only hands over the client address and the request; everything that decides
// an answer lives here so tests can call it directly.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "RankStore.h"

namespace korvane::server {

struct RankAnswer {
  int status = 200;
  std::string body;
  std::string contentType = "text/plain; charset=utf-8";
};

// The fields of a submitted score query; scores are 0 when their part was absent.
struct ScoreQuery {
  std::string userName, featureId, os, osName, cpu, cpuId, board, memory, video, monitor, disk,
      network, sound, cdrom, rndnum;
  double score = 0, cpuScore = 0, memScore = 0;
};

// Parses a decrypted score query: the parts in their fixed order, the fixed versions, the
// formats of the identifiers and the scores. nullopt with a one-line reason otherwise.
std::optional<ScoreQuery> ParseScoreQuery(std::string_view query, std::string* reason);

// Undoes the client's form encoding ("+" is a space, "%XX" a byte); false on a broken escape.
bool FormDecode(std::string_view in, std::string& out);

// AES-128-ECB decryption of a lower-case hex payload under the seed's key, cut at the first
// zero byte; nullopt for text that is not whole hex blocks.
std::optional<std::string> DecryptPayload(std::string_view hex, std::string_view seed);

// Eight characters from the kernel's cryptographic random source.
std::string NewSeed();

// "Intel Core i5-8250U CPU @ 1.60GHz" -> "Intel Core i5-8250U CPU"; the grouping key of the CPU
// table.
std::string ProcessorModel(std::string_view cpuCaption);
// "Samsung M471A1K43CB1 DDR4 2666MHz ( 8GB ) @ 1330.0MHz" -> "DDR4 2666MHz"; "" when the text
// names neither a memory type nor a clock.
std::string MemoryClass(std::string_view memoryProfile);

struct RankOptions {
  std::int64_t seedLifetimeMs = 10 * 60 * 1000;
  std::int64_t intervalMs = 60 * 1000;  // per user name and per address; 0 = no limit
  int seedsPerAddress = 64;
};

class RankService {
 public:
  // secret: the key of the address hash (kept in the data folder, never sent anywhere).
  RankService(RankStore& store, std::string secret, RankOptions options = {});

  RankAnswer KeyRequest(const std::string& clientAddress);
  // body: the whole form body ("data=<hex>").
  RankAnswer Submit(const std::string& clientAddress, std::string_view body);
  // The HTML page; cpuFilter limits the CPU table and the newest list to one processor model.
  RankAnswer Page(std::string_view cpuFilter);
  // group "cpu" or "mem"; cpuFilter as for the page.
  RankAnswer Api(std::string_view group, std::string_view cpuFilter);

  std::string AddressHash(const std::string& clientAddress) const;

 private:
  RankStore& store_;
  std::string secret_;
  RankOptions options_;
};

// The secret of the address hash: read from path, or created there (32 random bytes, mode
// 0600, never replaced). Empty with error when it cannot be read or made.
std::string LoadOrCreateSecret(const std::string& path, std::string* error);

std::int64_t NowMs();

}  // namespace korvane::server
