#include "orvane_native/stabilizer/noisy_program.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/noisy_stream.h"
#include "orvane_native/stabilizer/packed_tableau.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/portable_log.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

// One qubit of a pivot stabilizer's Pauli (its sign does not matter to a frame).
struct SupportBit {
  int64_t qubit;
  bool x;
  bool z;
};

// What the reference run found at a drawing triple: a random outcome with
// the pivot stabilizer's support, or a determined one.
struct DrawSite {
  bool random = false;
  int64_t begin = 0;  // into the support list
  int64_t end = 0;
};

// A Pauli injected into the frames at one triple: a noise basis Pauli on one
// qubit, or a coin's pivot stabilizer (after the measurement, before a
// reset clears the qubit; the coin's own entry, if any, is in its pattern).
struct Column {
  int64_t triple = 0;
  int64_t records_before = 0;  // record entries before this triple
  int64_t sites_before = 0;    // drawing triples before this triple
  int64_t own_entry = -1;  // coin of a recording triple: its entry
  int64_t qubit = 0;       // noise: the Pauli
  bool x = false;
  bool z = false;
};

void frame_gate(int64_t code, int64_t a, int64_t b, uint64_t* fx, uint64_t* fz) {
  switch (code) {
    case instr_h: std::swap(fx[a], fz[a]); break;
    case instr_s:
    case instr_sdg: fz[a] ^= fx[a]; break;
    case instr_cnot:
      fx[b] ^= fx[a];
      fz[a] ^= fz[b];
      break;
    case instr_cz:
      fz[a] ^= fx[b];
      fz[b] ^= fx[a];
      break;
    case instr_swap:
      std::swap(fx[a], fx[b]);
      std::swap(fz[a], fz[b]);
      break;
    default: break;  // Paulis commute with a frame up to sign
  }
}

// The next event shot of a location after shot `last`, from one gap draw;
// `shots` when it falls beyond the last shot.
int64_t next_event(uint64_t& state, double skip_scale, int64_t last, int64_t shots) {
  const uint64_t v = wyrand_step(state);
  const double u = static_cast<double>((v >> 11) + 1) * 0x1p-53;  // (0, 1]
  const double gap = portable_log(u) * skip_scale;                // >= 0; 0 when p = 1
  const int64_t left = shots - last - 1;
  if (!(gap < static_cast<double>(left))) return shots;
  return last + 1 + static_cast<int64_t>(gap);
}

uint64_t choice_of(uint64_t v, uint64_t count) {
  return static_cast<uint64_t>((static_cast<unsigned __int128>(v) * count) >> 64);
}

}  // namespace

NoisyProgram NoisyProgram::compile(I64Span instructions, int64_t num_qubits, F64Span probabilities) {
  NoisyProgram prog;
  InterruptPoll poll;
  const int64_t n = num_qubits;

  // The reference run: every coin 0, no error. It also finds which drawing
  // triples are random and their pivots, and lists the frame columns.
  PackedTableau t(n);
  const int64_t half = t.words();
  std::vector<SupportBit> support;
  std::vector<DrawSite> sites;
  std::vector<Column> columns;
  std::vector<int64_t> column_owner;  // per column: coin index, or -(1 + location index * 4 + part)
  int64_t current_probability = -1;
  int64_t noise_ordinal = 0;
  for (int64_t s = 0; s + 2 < instructions.size(); s += 3) {
    const int64_t code = instructions[s], a = instructions[s + 1], b = instructions[s + 2];
    const int64_t triple = s / 3;
    poll.tick(half + 1);
    if (is_gate(code)) {
      t.apply(code, a, b);
      continue;
    }
    if (code == instr_noise_probability) {
      current_probability = a;
      continue;
    }
    if (is_noise(code)) {
      const double p = probabilities[code == instr_depolarize2 ? current_probability : b];
      const int64_t ordinal = noise_ordinal++;
      if (p == 0.0) continue;
      Location loc;
      loc.ordinal = ordinal;
      loc.code = code;
      loc.skip_scale = 1.0 / portable_log1m(p);
      const int64_t index = static_cast<int64_t>(prog.locations_.size());
      auto add = [&](int part, int64_t q, bool x, bool z) {
        Column c;
        c.triple = triple;
        c.records_before = prog.m_;
        c.sites_before = static_cast<int64_t>(sites.size());
        c.qubit = q;
        c.x = x;
        c.z = z;
        columns.push_back(c);
        column_owner.push_back(-(1 + index * 4 + part));
      };
      switch (code) {
        case instr_x_error: add(0, a, true, false); break;
        case instr_y_error: add(0, a, true, true); break;
        case instr_z_error: add(0, a, false, true); break;
        case instr_depolarize1:
          add(0, a, true, false);
          add(1, a, false, true);
          break;
        default:
          add(0, a, true, false);
          add(1, a, false, true);
          add(2, b, true, false);
          add(3, b, false, true);
          break;
      }
      prog.locations_.push_back(loc);
      continue;
    }
    // A drawing triple: 9, 10 or 11.
    poll.tick(half * n + n);
    DrawSite site;
    const int64_t f = t.random_pivot(a);
    int64_t outcome = 0;
    if (f >= 0) {
      site.random = true;
      site.begin = static_cast<int64_t>(support.size());
      const int64_t word = half + (f >> 6);
      const int shift = static_cast<int>(f & 63);
      for (int64_t q = 0; q < n; ++q) {
        const bool x = ((std::as_const(t).xcol(q)[word] >> shift) & 1) != 0;
        const bool z = ((std::as_const(t).zcol(q)[word] >> shift) & 1) != 0;
        if (x || z) support.push_back({q, x, z});
      }
      site.end = static_cast<int64_t>(support.size());
      t.measure_random(a, f, 0.0);  // outcome 0
      Column c;
      c.triple = triple;
      c.records_before = prog.m_;
      c.sites_before = static_cast<int64_t>(sites.size());
      c.own_entry = records_outcome(code) ? prog.m_ : -1;
      columns.push_back(c);
      column_owner.push_back(static_cast<int64_t>(prog.coins_.size()));
      Coin coin;
      coin.draw = prog.draws_;
      prog.coins_.push_back(coin);
    } else {
      outcome = t.measure_determined(a);
    }
    sites.push_back(site);
    if (records_outcome(code)) {
      prog.reference_.push_back(outcome);
      ++prog.m_;
    }
    if (code != instr_measure && outcome == 1) t.apply(instr_x, a, 0);
    ++prog.draws_;
  }

  // The patterns, 64 columns at a time, each batch's frames walked from its
  // first column's triple to the end of the stream.
  std::vector<uint64_t> fx(static_cast<size_t>(n)), fz(static_cast<size_t>(n));
  std::vector<std::vector<int64_t>> lists(64);
  const int64_t total_columns = static_cast<int64_t>(columns.size());
  for (int64_t c0 = 0; c0 < total_columns; c0 += 64) {
    const int64_t c1 = std::min(total_columns, c0 + 64);
    std::fill(fx.begin(), fx.end(), 0);
    std::fill(fz.begin(), fz.end(), 0);
    for (auto& l : lists) l.clear();
    int64_t ci = c0;
    int64_t k = columns[c0].records_before;
    int64_t site_index = columns[c0].sites_before;
    for (int64_t s = 3 * columns[c0].triple; s + 2 < instructions.size(); s += 3) {
      const int64_t code = instructions[s], a = instructions[s + 1], b = instructions[s + 2];
      const int64_t triple = s / 3;
      poll.tick(1);
      if (is_gate(code)) {
        frame_gate(code, a, b, fx.data(), fz.data());
        continue;
      }
      if (is_noise(code)) {
        for (; ci < c1 && columns[ci].triple == triple; ++ci) {
          const uint64_t bit = uint64_t{1} << (ci - c0);
          if (columns[ci].x) fx[columns[ci].qubit] ^= bit;
          if (columns[ci].z) fz[columns[ci].qubit] ^= bit;
        }
        continue;
      }
      if (!draws_outcome(code)) continue;
      const DrawSite& site = sites[site_index++];
      // Multiplies the frames of the bits of `frames` by the site's pivot.
      const auto times_pivot = [&](uint64_t frames) {
        for (int64_t i = site.begin; i < site.end; ++i) {
          if (support[i].x) fx[support[i].qubit] ^= frames;
          if (support[i].z) fz[support[i].qubit] ^= frames;
        }
      };
      const uint64_t w = fx[a];
      if (site.random) {
        poll.tick(site.end - site.begin);
        if (w != 0) times_pivot(w);
      } else if (records_outcome(code)) {
        for (uint64_t rest = w; rest != 0; rest &= rest - 1) lists[std::countr_zero(rest)].push_back(k);
      }
      for (; ci < c1 && columns[ci].triple == triple; ++ci) {
        times_pivot(uint64_t{1} << (ci - c0));
        if (columns[ci].own_entry >= 0) lists[ci - c0].push_back(columns[ci].own_entry);
      }
      if (code != instr_measure) fx[a] = fz[a] = 0;
      if (records_outcome(code)) ++k;
    }
    for (int64_t c = c0; c < c1; ++c) {
      // Each entry is listed at most once, in increasing order: the walk
      // visits every measuring triple once.
      const std::vector<int64_t>& l = lists[c - c0];
      Range r;
      r.begin = static_cast<int64_t>(prog.entries_.size());
      prog.entries_.insert(prog.entries_.end(), l.begin(), l.end());
      r.end = static_cast<int64_t>(prog.entries_.size());
      const int64_t owner = column_owner[c];
      if (owner >= 0) {
        prog.coins_[owner].pattern = r;
      } else {
        const int64_t code = -owner - 1;
        prog.locations_[code / 4].pattern[code % 4] = r;
      }
    }
  }
  return prog;
}

template <class T>
void NoisyProgram::apply_event(const Location& loc, uint64_t choice, T* row) const {
  switch (loc.code) {
    case instr_depolarize1:
      if (choice != 2) xor_pattern(loc.pattern[0], row);  // X or Y
      if (choice != 0) xor_pattern(loc.pattern[1], row);  // Y or Z
      break;
    case instr_depolarize2: {
      const uint64_t pair = choice + 1;
      const uint64_t pa = pair >> 2, pb = pair & 3;  // 0 I, 1 X, 2 Y, 3 Z
      if (pa == 1 || pa == 2) xor_pattern(loc.pattern[0], row);
      if (pa == 2 || pa == 3) xor_pattern(loc.pattern[1], row);
      if (pb == 1 || pb == 2) xor_pattern(loc.pattern[2], row);
      if (pb == 2 || pb == 3) xor_pattern(loc.pattern[3], row);
      break;
    }
    default: xor_pattern(loc.pattern[0], row); break;
  }
}

template <class T>
void NoisyProgram::sample(int64_t shots, I64Span invert_mask, uint64_t measurement_state, uint64_t noise_state,
                          T* out) const {
  const int64_t m = m_;
  // The reference with the mask applied: flips then xor 1 into it.
  std::vector<T> first(reference_.begin(), reference_.end());
  for (int64_t k = 0; k < m && k < invert_mask.size(); ++k) first[k] ^= static_cast<T>(invert_mask[k]);

  struct Cursor {
    uint64_t state;
    int64_t next;
    uint64_t choice;
  };
  auto choices = [](int64_t code) -> uint64_t {
    return code == instr_depolarize1 ? 3 : code == instr_depolarize2 ? 15 : 0;
  };
  auto advance = [&](Cursor& c, const Location& loc) {
    c.next = next_event(c.state, loc.skip_scale, c.next, shots);
    const uint64_t count = choices(loc.code);
    if (c.next < shots && count != 0) c.choice = choice_of(wyrand_step(c.state), count);
  };
  std::vector<Cursor> cursors(locations_.size());
  for (size_t j = 0; j < locations_.size(); ++j) {
    uint64_t s = noise_state + static_cast<uint64_t>(locations_[j].ordinal) * kWyRandIncrement;
    cursors[j] = {wyrand_step(s), -1, 0};
    advance(cursors[j], locations_[j]);
  }

  // Blocks of shots small enough for their rows to stay in cache while the
  // events of every location are added.
  const int64_t block = std::max<int64_t>(1, std::min<int64_t>(256, (int64_t{1} << 15) / std::max<int64_t>(m, 1)));
  const uint64_t per_shot = static_cast<uint64_t>(draws_) * kWyRandIncrement;
  InterruptPoll poll;
  for (int64_t b0 = 0; b0 < shots; b0 += block) {
    const int64_t b1 = std::min(shots, b0 + block);
    poll.tick((b1 - b0) * (m + static_cast<int64_t>(coins_.size()) * 4) + static_cast<int64_t>(cursors.size()));
    for (int64_t r = b0; r < b1; ++r) {
      T* row = out + r * m;
      std::copy(first.begin(), first.end(), row);
      const uint64_t base = measurement_state + static_cast<uint64_t>(r) * per_shot;
      for (const Coin& coin : coins_) {
        uint64_t s = base + static_cast<uint64_t>(coin.draw) * kWyRandIncrement;
        if ((wyrand_step(s) >> 63) != 0) xor_pattern(coin.pattern, row);
      }
    }
    for (size_t j = 0; j < cursors.size(); ++j) {
      Cursor& c = cursors[j];
      while (c.next < b1) {
        apply_event(locations_[j], c.choice, out + c.next * m);
        advance(c, locations_[j]);
      }
    }
  }
}

template void NoisyProgram::sample(int64_t, I64Span, uint64_t, uint64_t, int64_t*) const;
template void NoisyProgram::sample(int64_t, I64Span, uint64_t, uint64_t, uint8_t*) const;

}  // namespace orvane
