#!/usr/bin/python3
"""The collection's playbook zorvi.boards.update_all_boards: the time it takes
to update the uC firmware of one simulated board, and of eight boards of one
host at once; the goal is eight in at most 1.5 times one board's time.

  bench/ansible_parallel_bench.py [BIN_DIR [COLLECTIONS]]   (build/bin, contrib/ansible)

Each run is a fresh board with a firmware image it does not hold yet, so
every board is written. Needs ansible-core (ansible-playbook)."""

import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'ansible'))
import collection_test as ct  # noqa: E402  (the test's simulator and playbook runner)

TARGET = 1.5


def timed_update(program, bin_dir, collections, boards, runs):
    """The playbook's best time over `runs` runs for `boards` fresh boards."""
    best = None
    for run in range(runs):
        with tempfile.TemporaryDirectory() as tmp:
            sims = [ct.Sim(bin_dir, '%s/board%d' % (tmp, n), 300001 + n, []) for n in range(boards)]
            try:
                image = tmp + '/fw.bin'
                with open(image, 'wb') as f:
                    f.write(ct.pattern(4096, 0x11 + run))
                env = ct.ansible_env(collections, tmp)
                results, _, seconds = ct.update_all_boards(program, env, tmp, bin_dir + '/zorviutil',
                                                           [s.port for s in sims], image)
                changed = sum(1 for r in results.values() if r.get('changed') and not r.get('failed'))
                if changed != boards:
                    sys.exit('%d of %d boards updated: %s' % (changed, boards, results))
                best = seconds if best is None else min(best, seconds)
            finally:
                for sim in sims:
                    sim.stop()
    return best


def main():
    bin_dir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else 'build/bin')
    collections = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else 'contrib/ansible')
    program = ct.ansible_program('ansible-playbook')
    # The playbook's own output is not wanted here.
    ct.print = lambda *args, **kwargs: None
    one = timed_update(program, bin_dir, collections, 1, 3)
    eight = timed_update(program, bin_dir, collections, ct.PARALLEL_BOARDS, 3)
    ratio = eight / one
    sys.stdout.write('one board: %.1f s; %d boards at once: %.1f s; ratio %.2f (goal at most %.1f): %s\n'
                     % (one, ct.PARALLEL_BOARDS, eight, ratio, TARGET, 'met' if ratio <= TARGET else 'NOT MET'))
    return 0 if ratio <= TARGET else 1


if __name__ == '__main__':
    sys.exit(main())
