# The two commands of the README. Both first install what the machine lacks.
.PHONY: test run bench deps clean

deps:
	@scripts/install-deps

test: deps
	@scripts/test-all

run: deps
	@scripts/run

bench: deps
	@scripts/bench

clean:
	rm -rf build
