#!/usr/bin/Rscript
# Reference fits of the order of the works over all criteria, from R's gnm (Debian's r-cran-gnm).
#
# Run from the top of the source tree (about ten minutes); the tests themselves need no R:
#
#     Rscript tests/reference/order_reference.R
#
# It writes tests/reference/order_reference.csv, one line per value, with the columns
#
#     set, what, work, criterion, observed, total, value
#
# Set 0 is the built-in data; sets 1 to 50 are generated here, from a fixed seed, with 3 to 60
# works and 1 to 20 criteria: cells without cases, works whose counts are all 0 or all the cases,
# works with the same counts as another, a criterion whose feature runs against its direction,
# criteria with cases in one work only, some drawn with more spread than the binomial's. `what`
# is one of
#
#   count       a cell of the data: observed and total (a total of 0: no cases)
#   direction   a criterion's direction, 1 or -1
#   position    a work's position (works without a position have no line)
#   level, rate a criterion's level and rate (a criterion with cases in one work has no rate)
#   against     a criterion planted against its direction, which must not agree
#   log_likelihood, deviance, df   the fit
#   gradient    the largest score of the reference's own solution, for the record
#
# The model: logit p = level + rate * position for each cell with cases, fitted by maximum
# likelihood to half-adjusted counts, gnm(cbind(k + 0.5, n - k + 0.5) ~ crit + Mult(crit, work),
# family = binomial) (with one criterion, ~ 1 + Mult(1, work)), on the criteria with cases in two
# works or more and the works with cases under them. A criterion with cases in one work fits that
# cell with its level alone. The positions are then set to mean 0 and standard deviation 1 (the
# n - 1 form) over the works, the levels and rates following, and turned so that the sum of
# direction times rate is positive. The log-likelihood is the binomial one of the adjusted counts,
# its coefficient from the gamma function: sum of lgamma(m + 1) - lgamma(y + 1) - lgamma(m - y + 1)
# + y log p + (m - y) log(1 - p) with y = k + 0.5, m = n + 1.
#
# Trust in the reference: each fit is started from ten random starts with gnm's tolerance 1e-12
# and up to 5,000 iterations (gnm's own starts land below the best maximum in about one fit of
# five); the best maximum is kept, and the script stops if another start reaches a likelihood
# within 1e-9 of it at positions more than 1e-7 away (two maxima), if the score of the kept
# solution (each parameter's derivative of the log-likelihood over the square root of its
# information) exceeds 1e-9 anywhere, or if a planted criterion comes out agreeing.

suppressMessages(library(gnm))

builtIn <- function() {
  k <- c(312, 173, 188, 1094, 1528, 440, 303, 80, 130, 715, 1280, 273, 30, 5, 24, 78, 143, 19,
         55, 5, 6, 36, 95, 8, 28, 3, 13, 37, 66, 3, 9, 2, 1, 11, 16, 2, 11, 0, 3, 21, 60, 6,
         30, 1, 4, 41, 80, 14, 9, 0, 6, 16, 53, 11)
  n <- c(1810, 194, 224, 1469, 1576, 1010, 1694, 85, 162, 1063, 1350, 688, 89, 12, 39, 144, 173,
         93, 145, 9, 11, 95, 124, 49, 61, 4, 16, 62, 91, 21, 26, 2, 2, 17, 20, 8, 49, 0, 6, 34,
         64, 18, 56, 2, 7, 56, 83, 46, 47, 2, 7, 30, 57, 26)
  list(k = matrix(k, nrow = 9, byrow = TRUE), n = matrix(n, nrow = 9, byrow = TRUE),
       direction = c(1, -1, -1, -1, -1, -1), against = integer(0))
}

# Whether every work is joined to every other through criteria with cases in both.
connected <- function(has) {
  W <- nrow(has)
  reached <- rep(FALSE, W)
  reached[which(rowSums(has) > 0)[1]] <- TRUE
  repeat {
    crit <- colSums(has[reached, , drop = FALSE]) > 0
    now <- reached | rowSums(has[, crit, drop = FALSE]) > 0
    if (all(now == reached)) break
    reached <- now
  }
  all(reached[rowSums(has) > 0])
}

# One generated data set; `s` chooses which of the awkward kinds it holds.
generated <- function(s) {
  W <- if (s == 1) 3 else if (s == 2) 60 else sample(3:60, 1)
  C <- if (s %in% c(1, 3)) 1 else if (s %in% c(2, 4)) 20 else sample(1:20, 1)
  theta <- rnorm(W)
  direction <- sample(c(-1, 1), C, replace = TRUE)
  level <- rnorm(C, -0.5, 1)
  rate <- direction * runif(C, 0.2, 1.2)
  against <- integer(0)
  if (C >= 3 && s %% 3 != 0) {
    # Against its direction, but weaker than the others together, so that they set the order.
    against <- sample.int(C, 1)
    rate[against] <- -direction[against] * 0.6 * mean(abs(rate[-against]))
  }
  largest <- sample(c(20, 200, 2000, 5000), 1)
  n <- matrix(pmax(1, round(exp(runif(W * C, log(2), log(largest))))), W, C)
  n[, against] <- pmax(n[, against], 100)
  repeat {
    missing <- matrix(runif(W * C) < (if (s %% 2 == 0) 0.12 else 0.03), W, C)
    has <- !missing
    if (all(rowSums(has) > 0) && all(colSums(has) >= 2) && connected(has)) break
  }
  n[missing] <- 0
  p <- plogis(outer(theta, rate) + matrix(level, W, C, byrow = TRUE))
  if (s %% 5 == 2) {
    # More spread than the binomial's: each cell's own proportion from a beta distribution.
    p <- matrix(rbeta(W * C, p * 20, (1 - p) * 20), W, C)
  }
  k <- matrix(rbinom(W * C, n, p), W, C)
  # A work whose counts are all 0, or all its cases, is a short one: few cases under each
  # criterion, as in a hymn of a few dozen lines.
  if (W >= 4 && s %% 4 == 0) {
    n[2, n[2, ] > 0] <- sample(1:8, sum(n[2, ] > 0), replace = TRUE)
    k[2, ] <- 0
  }
  if (W >= 5 && s %% 4 == 1) {
    n[3, n[3, ] > 0] <- sample(1:8, sum(n[3, ] > 0), replace = TRUE)
    k[3, ] <- n[3, ]
  }
  if (W >= 6 && s %% 3 == 1) {
    k[W, ] <- k[1, ]
    n[W, ] <- n[1, ]
  }
  if (C >= 2 && s %% 7 == 3) {
    # A criterion with cases in one work only; that work keeps cases elsewhere.
    lone <- if (length(against) > 0 && against == 1) 2 else 1
    keep <- which(n[, lone] > 0 & rowSums(n[, -lone, drop = FALSE] > 0) > 0)[1]
    n[-keep, lone] <- 0
    k[-keep, lone] <- 0
  }
  list(k = k, n = n, direction = direction, against = against)
}

# The cells of the fit: the criteria with cases in two works or more, the works with cases there.
cellsOf <- function(set) {
  W <- nrow(set$n)
  C <- ncol(set$n)
  cells <- data.frame(work = rep(seq_len(W), C), crit = rep(seq_len(C), each = W),
                      k = as.vector(set$k), n = as.vector(set$n))
  cells <- cells[cells$n > 0, ]
  worksOf <- table(factor(cells$crit, levels = seq_len(C)))
  cells$fitted <- worksOf[cells$crit] >= 2
  cells$y <- cells$k + 0.5
  cells$m <- cells$n + 1
  cells
}

logLikelihood <- function(y, m, p) {
  sum(lgamma(m + 1) - lgamma(y + 1) - lgamma(m - y + 1) + y * log(p) + (m - y) * log(1 - p))
}

# The largest score of a solution, each derivative over its parameter's standard error.
scaledScore <- function(cells, level, rate, position) {
  eta <- level[cells$c] + rate[cells$c] * position[cells$w]
  p <- plogis(eta)
  v <- cells$m * p * (1 - p)
  r <- cells$y - cells$m * p
  score <- c(tapply(r, cells$c, sum) / sqrt(tapply(v, cells$c, sum)),
             tapply(r * position[cells$w], cells$c, sum) /
               sqrt(tapply(v * position[cells$w]^2, cells$c, sum)),
             tapply(r * rate[cells$c], cells$w, sum) /
               sqrt(tapply(v * rate[cells$c]^2, cells$w, sum)))
  max(abs(score))
}

# One start of gnm, its parameters standardised and turned.
oneFit <- function(cells, direction, seed) {
  set.seed(seed)
  single <- length(unique(cells$c)) == 1
  formula <- if (single) cbind(y, m - y) ~ 1 + Mult(1, w) else cbind(y, m - y) ~ c + Mult(c, w)
  fit <- suppressWarnings(gnm(formula, family = binomial, data = cells, tolerance = 1e-12,
                              iterMax = 5000, verbose = FALSE, trace = FALSE))
  if (is.null(fit)) return(NULL)
  coefficients <- coef(fit)
  works <- levels(cells$w)
  criteria <- levels(cells$c)
  theta <- coefficients[paste0(if (single) "Mult(1, .).w" else "Mult(c, .).w", works)]
  if (single) {
    rate <- coefficients["Mult(., w)."]
    level <- coefficients["(Intercept)"]
  } else {
    rate <- coefficients[paste0("Mult(., w).c", criteria)]
    level <- coefficients["(Intercept)"] + c(0, coefficients[paste0("c", criteria[-1])])
  }
  centre <- mean(theta)
  spread <- sd(theta)
  position <- (theta - centre) / spread
  level <- level + rate * centre
  rate <- rate * spread
  turn <- if (sum(direction[as.integer(criteria)] * rate) < 0) -1 else 1
  position <- turn * position
  rate <- turn * rate
  names(position) <- works
  names(level) <- criteria
  names(rate) <- criteria
  p <- fitted(fit)
  list(position = position, level = level, rate = rate, deviance = deviance(fit),
       df = df.residual(fit), logLik = logLikelihood(cells$y, cells$m, p))
}

reference <- function(set) {
  all <- cellsOf(set)
  cells <- all[all$fitted, ]
  cells$w <- factor(cells$work)
  cells$c <- factor(cells$crit)
  fits <- Filter(Negate(is.null), lapply(1:10, function(seed) oneFit(cells, set$direction, seed)))
  if (length(fits) == 0) stop("no start of gnm reached a fit")
  best <- fits[[which.max(sapply(fits, function(f) f$logLik))]]
  for (f in fits) {
    if (abs(f$logLik - best$logLik) < 1e-9 * abs(best$logLik) &&
        max(abs(f$position - best$position)) > 1e-7) stop("two maxima of the likelihood")
  }
  score <- scaledScore(cells, best$level, best$rate, best$position)
  if (score > 1e-9) stop(sprintf("the reference's score is %g", score))
  # A criterion with cases in one work: its level is that cell's log-odds, it has no rate.
  lone <- all[!all$fitted, ]
  level <- best$level
  level[as.character(lone$crit)] <- qlogis(lone$y / lone$m)
  best$level <- level[order(as.integer(names(level)))]
  best$logLik <- best$logLik + logLikelihood(lone$y, lone$m, lone$y / lone$m)
  best$score <- score
  best
}

lines <- character(0)
add <- function(...) lines <<- c(lines, paste(..., sep = ","))
number <- function(x) sprintf("%.17g", x)

emit <- function(s, set) {
  fit <- reference(set)
  W <- nrow(set$n)
  C <- ncol(set$n)
  for (w in seq_len(W)) for (c in seq_len(C)) add(s, "count", w, c, set$k[w, c], set$n[w, c], "")
  for (c in seq_len(C)) add(s, "direction", "", c, "", "", set$direction[c])
  for (w in names(fit$position)) add(s, "position", w, "", "", "", number(fit$position[[w]]))
  for (c in names(fit$level)) add(s, "level", "", c, "", "", number(fit$level[[c]]))
  for (c in names(fit$rate)) add(s, "rate", "", c, "", "", number(fit$rate[[c]]))
  for (c in set$against) {
    if (sign(fit$rate[[as.character(c)]]) == set$direction[c]) stop("the planted criterion agrees")
    add(s, "against", "", c, "", "", "")
  }
  add(s, "log_likelihood", "", "", "", "", number(fit$logLik))
  add(s, "deviance", "", "", "", "", number(fit$deviance))
  add(s, "df", "", "", "", "", fit$df)
  add(s, "gradient", "", "", "", "", sprintf("%.3g", fit$score))
}

# A generated set whose criteria with cases in two works or more still join every work.
drawn <- function(s) {
  repeat {
    set <- generated(s)
    has <- set$n > 0
    fitted <- colSums(has) >= 2
    if (connected(has[, fitted, drop = FALSE])) return(set)
  }
}

emit(0, builtIn())
set.seed(27)
sets <- lapply(1:50, drawn)
for (s in 1:50) emit(s, sets[[s]])
out <- file("tests/reference/order_reference.csv", "wb")
writeLines(c("set,what,work,criterion,observed,total,value", lines), out, sep = "\n")
close(out)
