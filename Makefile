# The two commands of the README. Both first install what the machine lacks.
.PHONY: test run bench fuzz dist deps clean

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

# The package for Windows users: build/dist/qinglan-1.0-win64.zip and its SHA-256.
dist: deps
	@scripts/dist

# The Wine sessions (display, wineservers) of the test and run folders stop before their
# folders go.
clean:
	@for b in build/windows build/windows/run; do \
		[ -d "$$b/wine" ] && scripts/wine-session stop "$$b" >/dev/null 2>&1; true; \
	done
	rm -rf build
