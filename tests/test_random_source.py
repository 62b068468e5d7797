"""The random source: the ChaCha block function against published vectors, and the per-thread
generator's output."""

import json
import math
import os
import threading

import _nodeweave_testing as testing


def test_chacha12_keystream_matches_the_published_vector():
    # All-zero key and IV, block counter 0.
    block = testing.chacha_block(bytes(32), [0, 0, 0, 0], 12)
    assert block[:32].hex() == "9bf49a6a0755f953811fce125f2683d50429c3bb49e074147e0089a52eae155f"


def test_chacha20_block_function_matches_rfc_8439():
    # RFC 8439, section 2.3.2: key 00..1f, counter 1, nonce 000000090000004a00000000.
    block = testing.chacha_block(bytes(range(32)), [1, 0x09000000, 0x4A000000, 0], 20)
    assert block.hex() == (
        "10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
        "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e"
    )


def test_generator_words_are_balanced_across_reseeds():
    # 2**18 words pass the 65,536-byte reseed point sixteen times.
    words = testing.random_words(1 << 18)
    n = len(words)
    assert len(set(words)) > n - 20  # 32-bit words: a few collisions at most
    for bit in (31, 0, 17):
        ones = sum(w >> bit & 1 for w in words)
        assert abs(ones - n / 2) < 4 * math.sqrt(n / 4), bit


def test_unreadable_entropy_fails_the_first_draw_of_a_thread():
    outcome = {}

    def first_draw():
        try:
            testing.random_words(1)
        except BaseException as error:  # PanicException derives from BaseException
            outcome["error"] = error

    testing.fail_entropy(True)
    try:
        worker = threading.Thread(target=first_draw)
        worker.start()
        worker.join()
    finally:
        testing.fail_entropy(False)
    assert type(outcome["error"]).__name__ == "PanicException"
    assert "entropy" in str(outcome["error"])
    assert len(testing.random_words(4)) == 4  # a thread whose generator exists goes on


def on_a_new_thread(work):
    """work() on a thread of its own, whose generator does not exist yet."""
    answer = []
    worker = threading.Thread(target=lambda: answer.append(work()))
    worker.start()
    worker.join()
    return answer[0]


def test_a_thread_reads_entropy_on_its_first_draw_and_after_every_65536_bytes():
    def reads_after_draws():
        reads = [testing.entropy_reads()]
        for n in (1, 16383, 1, 16383, 1, 100):  # 16,384 words are 65,536 bytes
            testing.random_words(n)
            reads.append(testing.entropy_reads())
        return [r - reads[0] for r in reads]

    assert on_a_new_thread(reads_after_draws) == [0, 1, 1, 2, 2, 3, 3]


def in_forked_child(work):
    """work() in a child of os.fork(); its answer comes back through a pipe as JSON."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        status = 1
        try:
            os.close(read)
            os.write(write, json.dumps(work()).encode())
            status = 0
        finally:
            os._exit(status)
    os.close(write)
    with os.fdopen(read) as pipe:
        answer = pipe.read()
    assert os.waitpid(pid, 0)[1] == 0
    return json.loads(answer)


def test_a_forked_child_draws_from_a_fresh_generator():
    def first_draws():
        before = testing.entropy_reads()
        words = testing.random_words(8)
        return testing.entropy_reads() - before, words

    testing.random_words(1)  # the parent's generator exists and is part-way through its buffer
    children = [in_forked_child(first_draws) for _ in range(3)]
    parent = testing.random_words(8)
    assert [reads for reads, _ in children] == [1, 1, 1]
    assert len({tuple(words) for _, words in children} | {tuple(parent)}) == 4


def test_a_forked_child_that_cannot_read_entropy_does_not_go_on_with_the_parent_words():
    def first_draw():
        testing.fail_entropy(True)
        try:
            testing.random_words(1)
        except BaseException as error:  # PanicException derives from BaseException
            return type(error).__name__, str(error)
        return "drew", ""

    testing.random_words(1)
    name, message = in_forked_child(first_draw)
    assert name == "PanicException" and "entropy" in message
