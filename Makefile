# The two commands of the README. Both first install what the machine lacks.
.PHONY: test run bench fuzz deps clean

deps:
	@scripts/install-deps

test: deps
	@scripts/test-all

run: deps
	@scripts/run

fuzz: deps
	@scripts/fuzz

bench: deps
	@scripts/bench

clean:
	rm -rf build
