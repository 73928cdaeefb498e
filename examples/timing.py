"""Side-by-side timing for the demo: contenders run in turn, round after
round, so that a burst of load on the machine hits all of them; each figure
is the median over the rounds, shown with the spread of the rounds."""
import statistics
import time


def race(rounds, *contenders):
    """Seconds per round of each contender, after one untimed warm-up round."""
    for fn in contenders:
        fn()
    times = [[] for _ in contenders]
    for _ in range(rounds):
        for fn, slot in zip(contenders, times):
            t0 = time.perf_counter()
            fn()
            slot.append(time.perf_counter() - t0)
    return times


def spread(values, scale=1.0):
    """'median (min-max)' of the values times `scale`."""
    return f"{scale * statistics.median(values):7.1f} ({scale * min(values):.1f}-{scale * max(values):.1f})"


def compare(label, ours, theirs, their_name, rounds=7):
    """Prints both medians (ms, with the range over the rounds) and the ratio
    theirs / ours of the medians with the range of the per-round ratios;
    returns the ratio of the medians."""
    t_ours, t_theirs = race(rounds, ours, theirs)
    ratio = statistics.median(t_theirs) / statistics.median(t_ours)
    per_round = [b / a for a, b in zip(t_ours, t_theirs)]
    print(f"  {label:<28} zyl_core {spread(t_ours, 1e3)} ms  {their_name:<15} {spread(t_theirs, 1e3)} ms"
          f"  ratio {ratio:.2f}x ({min(per_round):.2f}-{max(per_round):.2f})")
    return ratio
